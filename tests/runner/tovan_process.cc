#include "tests/runner/tovan_process.h"

#include <psapi.h>

namespace tovan_test {

namespace {

constexpr const wchar_t kWindowClass[] = L"FLUTTER_RUNNER_WIN32_WINDOW";

// Sets environment variables for the duration of one process start, so the
// child inherits them, and puts the old values back afterwards.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(const std::vector<std::wstring>& entries) {
    for (const std::wstring& entry : entries) {
      const size_t equals = entry.find(L'=');
      const std::wstring name = entry.substr(0, equals);
      wchar_t old_value[32768];
      const DWORD length = GetEnvironmentVariableW(name.c_str(), old_value, 32768);
      saved_.push_back(
          {name, length > 0 ? std::wstring(old_value, length) : std::wstring(), length > 0});
      SetEnvironmentVariableW(name.c_str(), entry.substr(equals + 1).c_str());
    }
  }
  ~ScopedEnvironment() {
    for (const Saved& saved : saved_) {
      SetEnvironmentVariableW(saved.name.c_str(), saved.existed ? saved.value.c_str() : nullptr);
    }
  }

 private:
  struct Saved {
    std::wstring name;
    std::wstring value;
    bool existed;
  };
  std::vector<Saved> saved_;
};

std::wstring CommandLine(const LaunchOptions& options) {
  std::wstring command = L"\"" + options.executable + L"\"";
  if (!options.arguments.empty()) command += L" " + options.arguments;
  return command;
}

std::wstring WorkingFolder(const LaunchOptions& options) {
  if (!options.working_folder.empty()) return options.working_folder;
  return options.executable.substr(0, options.executable.find_last_of(L'\\'));
}

struct WindowSearch {
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<WindowSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->process_id) return TRUE;
  wchar_t class_name[64] = {};
  GetClassNameW(window, class_name, 64);
  if (wcscmp(class_name, kWindowClass) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

std::wstring BundleFolder() {
  wchar_t value[MAX_PATH] = {};
  GetEnvironmentVariableW(L"TOVAN_BUNDLE_DIR", value, MAX_PATH);
  std::wstring folder = value;
  // ctest passes the build's (Unix) path; Wine shows the Unix root as Z:.
  if (!folder.empty() && folder[0] == L'/') {
    for (wchar_t& c : folder) {
      if (c == L'/') c = L'\\';
    }
    folder = L"Z:" + folder;
  }
  return folder;
}

std::wstring FreshFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"tovan_runner_test_" +
                              std::to_wstring(GetCurrentProcessId()) + L"_" + name;
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

TovanProcess::TovanProcess(const LaunchOptions& options) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE output_write = nullptr;
  if (!CreatePipe(&output_read_, &output_write, &inheritable, 0)) return;
  SetHandleInformation(output_read_, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = output_write;
  startup.hStdError = output_write;
  PROCESS_INFORMATION info{};
  std::wstring command = CommandLine(options);
  const std::wstring folder = WorkingFolder(options);
  BOOL created;
  {
    ScopedEnvironment environment(options.environment);
    created = CreateProcessW(options.executable.c_str(), command.data(), nullptr, nullptr, TRUE,
                             options.detached ? DETACHED_PROCESS : 0, nullptr, folder.c_str(),
                             &startup, &info);
  }
  CloseHandle(output_write);
  if (!created) return;
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  process_id_ = info.dwProcessId;

  // Polls rather than blocks: a process the child starts may inherit the
  // pipe and keep it open after the child has ended.
  reader_ = std::thread([this]() {
    char buffer[4096];
    for (;;) {
      DWORD available = 0;
      if (!PeekNamedPipe(output_read_, nullptr, 0, nullptr, &available, nullptr)) break;
      if (available > 0) {
        DWORD got = 0;
        if (!ReadFile(output_read_, buffer, sizeof(buffer), &got, nullptr)) break;
        output_.append(buffer, got);
        continue;
      }
      if (WaitForSingleObject(process_, 20) == WAIT_OBJECT_0) {
        // One last look for what was written just before the end.
        if (PeekNamedPipe(output_read_, nullptr, 0, nullptr, &available, nullptr) &&
            available > 0) {
          continue;
        }
        break;
      }
    }
  });
}

TovanProcess::~TovanProcess() {
  if (process_ != nullptr) Wait(10000);
  if (reader_.joinable()) reader_.join();
  if (output_read_ != nullptr) CloseHandle(output_read_);
  if (process_ != nullptr) CloseHandle(process_);
}

HWND TovanProcess::FindMainWindow() const {
  WindowSearch search{process_id_, nullptr};
  EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

DWORD TovanProcess::Wait(DWORD timeout_ms) {
  if (process_ == nullptr) return STILL_ACTIVE;
  if (WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) {
    TerminateProcess(process_, STILL_ACTIVE);
    WaitForSingleObject(process_, 5000);
    if (reader_.joinable()) reader_.join();
    return STILL_ACTIVE;
  }
  if (reader_.joinable()) reader_.join();
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_, &code);
  return code;
}

SIZE_T TovanProcess::PeakWorkingSet() const {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (process_ == nullptr || !GetProcessMemoryInfo(process_, &counters, sizeof(counters))) {
    return 0;
  }
  return counters.PeakWorkingSetSize;
}

DWORD RunUnderDebugger(const LaunchOptions& options, DWORD timeout_ms,
                       std::vector<std::string>* debug_lines) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  std::wstring command = CommandLine(options);
  const std::wstring folder = WorkingFolder(options);
  BOOL created;
  {
    ScopedEnvironment environment(options.environment);
    created = CreateProcessW(options.executable.c_str(), command.data(), nullptr, nullptr, FALSE,
                             DEBUG_ONLY_THIS_PROCESS | (options.detached ? DETACHED_PROCESS : 0),
                             nullptr, folder.c_str(), &startup, &info);
  }
  if (!created) return STILL_ACTIVE;
  CloseHandle(info.hThread);

  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  DWORD exit_code = STILL_ACTIVE;
  bool killed = false;
  for (;;) {
    DEBUG_EVENT event{};
    if (!WaitForDebugEvent(&event, 200)) {
      if (!killed && GetTickCount64() > deadline) {
        TerminateProcess(info.hProcess, STILL_ACTIVE);
        killed = true;
      }
      continue;
    }
    DWORD continue_status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile != nullptr)
          CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile != nullptr) CloseHandle(event.u.LoadDll.hFile);
        break;
      case OUTPUT_DEBUG_STRING_EVENT: {
        const OUTPUT_DEBUG_STRING_INFO& text = event.u.DebugString;
        const size_t units = text.nDebugStringLength;
        if (text.fUnicode) {
          std::wstring wide(units, L'\0');
          ReadProcessMemory(info.hProcess, text.lpDebugStringData, wide.data(),
                            units * sizeof(wchar_t), nullptr);
          debug_lines->push_back(Narrow(wide.c_str()));
        } else {
          std::string narrow(units, '\0');
          ReadProcessMemory(info.hProcess, text.lpDebugStringData, narrow.data(), units, nullptr);
          debug_lines->push_back(narrow.c_str());
        }
        break;
      }
      case EXCEPTION_DEBUG_EVENT:
        // Breakpoints (the loader's first one) are the debugger's own; every
        // other exception goes to the program's handlers.
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
          continue_status = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        exit_code = event.u.ExitProcess.dwExitCode;
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continue_status);
    if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) break;
  }
  CloseHandle(info.hProcess);
  return killed ? STILL_ACTIVE : exit_code;
}

bool SaveWindowScreenshot(HWND window, const std::wstring& path) {
  RECT frame{};
  if (!GetWindowRect(window, &frame)) return false;
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  if (width <= 0 || height <= 0) return false;

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool saved = false;
  if (bitmap != nullptr) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY)) {
      GdiFlush();
      const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
      const DWORD image_size = stride * static_cast<DWORD>(height);
      BITMAPFILEHEADER file{};
      file.bfType = 0x4D42;  // "BM"
      file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
      file.bfSize = file.bfOffBits + image_size;
      std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
      bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(BITMAPINFOHEADER));
      bytes.append(static_cast<const char*>(bits), image_size);
      WriteWholeFile(path, bytes);
      saved = true;
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return saved;
}

}  // namespace tovan_test
