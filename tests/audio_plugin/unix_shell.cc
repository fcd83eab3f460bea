#include "tests/audio_plugin/unix_shell.h"

#include <windows.h>

#include <cstdio>
#include <random>

#include "tests/support/child_process.h"

namespace {

std::string ReadWholeFile(const std::string& path) {
  std::string content;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return content;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    content.append(buffer, read);
  }
  CloseHandle(file);
  return content;
}

std::string OnDriveZ(const std::string& unix_path) {
  std::string path = "Z:" + unix_path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::optional<ShellOutcome> RunUnixShell(const std::string& command) {
  if (!RunningUnderWine()) return std::nullopt;
  // Process ids repeat across Wine prefixes: a random part keeps test runs in other prefixes
  // apart. The files go to the run's temporary folder (Wine passes TMPDIR on).
  static int serial = 0;
  static const unsigned run = std::random_device()();
  char folder[512] = "";
  const DWORD length = GetEnvironmentVariableA("TMPDIR", folder, sizeof folder);
  const std::string base = length > 0 && length < sizeof folder && folder[0] == '/' &&
                                   std::string(folder).find_first_of(" '\"") == std::string::npos
                               ? std::string(folder)
                               : std::string("/tmp");
  const std::string stem =
      base + "/tovan_audio_test_" + std::to_string(run) + "_" + std::to_string(++serial);
  // Wine does not track a Unix child (its process handle is signalled at once), so the script
  // announces its end itself: the exit status appears, by an atomic rename, after the output.
  const std::string script = "(" + command + ") >" + stem + ".out 2>&1; echo $? >" + stem +
                             ".tmp; mv " + stem + ".tmp " + stem + ".rc";
  tovan_test::ChildOptions options;
  options.application = L"Z:\\bin\\sh";
  options.command_line =
      L"/bin/sh -c " + tovan_test::QuoteArgument(std::wstring(script.begin(), script.end()));
  options.out = options.err = tovan_test::ChildStream::kInherit;
  const tovan_test::ChildProcess shell(options);
  if (!shell.started()) {
    std::fprintf(stderr, "%s\n", shell.start_error().c_str());
    return std::nullopt;
  }

  const std::string status_file = OnDriveZ(stem + ".rc");
  for (int waited = 0; waited < 3000; ++waited) {
    if (GetFileAttributesA(status_file.c_str()) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(10);
  }
  const std::string status = ReadWholeFile(status_file);
  if (status.empty()) return std::nullopt;
  ShellOutcome outcome{std::stoul(status), ReadWholeFile(OnDriveZ(stem + ".out"))};
  DeleteFileA(status_file.c_str());
  DeleteFileA(OnDriveZ(stem + ".out").c_str());
  return outcome;
}
