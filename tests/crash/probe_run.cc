#include "tests/crash/probe_run.h"

#include <cwctype>

namespace fs = std::filesystem;

namespace {

bool StartsWithInsensitive(const wchar_t* text, const wchar_t* prefix) {
  for (; *prefix != 0; ++text, ++prefix) {
    if (std::towupper(*text) != std::towupper(*prefix)) return false;
  }
  return true;
}

// This process's environment with TMP and TEMP pointing at `temp`.
std::wstring EnvironmentWithTemp(const fs::path& temp) {
  std::wstring block;
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; *entry != 0; entry += std::wcslen(entry) + 1) {
    if (StartsWithInsensitive(entry, L"TMP=") || StartsWithInsensitive(entry, L"TEMP=")) continue;
    block.append(entry).push_back(L'\0');
  }
  FreeEnvironmentStringsW(strings);
  for (const wchar_t* name : {L"TMP=", L"TEMP="}) {
    block.append(name).append(temp.wstring()).push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

}  // namespace

fs::path CasesRoot() { return fs::current_path() / L"crash_cases"; }

fs::path ProbePath() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return fs::path(self).parent_path() / L"crash_probe.exe";
}

ProbeRun::ProbeRun(const std::wstring& name, std::vector<std::wstring> actions)
    : name_(name), actions_(std::move(actions)) {}

ProbeRun::~ProbeRun() {
  if (process_ != nullptr) {
    TerminateProcess(process_, 1);
    CloseHandle(process_);
  }
}

fs::path ProbeRun::caseDir() const { return CasesRoot() / name_; }

bool ProbeRun::Start() {
  std::error_code ignored;
  fs::create_directories(profileDir(), ignored);
  fs::create_directories(caseDir() / L"tmp", ignored);
  std::wstring command =
      L"\"" + ProbePath().wstring() + L"\" \"profile=" + profileDir().wstring() + L"\"";
  for (const std::wstring& action : actions_) command += L" " + action;
  std::wstring environment = EnvironmentWithTemp(caseDir() / L"tmp");
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  startedMs_ = GetTickCount64();
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                      environment.data(), nullptr, &startup, &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  processId_ = info.dwProcessId;
  mainThreadId_ = info.dwThreadId;
  return true;
}

bool ProbeRun::Finish(DWORD timeoutMs) {
  if (process_ == nullptr) return false;
  if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) {
    hung_ = true;
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, INFINITE);
  }
  elapsedMs_ = GetTickCount64() - startedMs_;
  GetExitCodeProcess(process_, &exitCode_);
  CloseHandle(process_);
  process_ = nullptr;
  return !hung_;
}
