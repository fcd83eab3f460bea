#include "tests/runner/tovan_process.h"

#include <psapi.h>

#include <cstdio>

namespace tovan_test {

namespace {

constexpr const wchar_t kWindowClass[] = L"FLUTTER_RUNNER_WIN32_WINDOW";

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

static ChildOptions ChildOptionsFor(const LaunchOptions& options) {
  ChildOptions child;
  child.application = options.executable;
  child.command_line = CommandLine(options);
  child.working_folder = WorkingFolder(options);
  child.environment = options.environment;
  child.creation_flags = options.detached ? DETACHED_PROCESS : 0;
  return child;
}

TovanProcess::TovanProcess(const LaunchOptions& options) {
  ChildOptions child = ChildOptionsFor(options);
  child.out = ChildStream::kCapture;
  child.err = ChildStream::kOutput;
  child_ = std::make_unique<ChildProcess>(child);
  if (!child_->started()) std::fprintf(stderr, "%s\n", child_->start_error().c_str());
}

TovanProcess::~TovanProcess() {
  if (child_->started() && !child_->WaitForExit(10000)) child_->Terminate(STILL_ACTIVE);
}

HWND TovanProcess::FindMainWindow() const {
  WindowSearch search{child_->process_id(), nullptr};
  EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

DWORD TovanProcess::Wait(DWORD timeout_ms) {
  if (!child_->started()) return STILL_ACTIVE;
  if (!child_->WaitForExit(timeout_ms)) {
    child_->Terminate(STILL_ACTIVE);
    return STILL_ACTIVE;
  }
  return child_->exit_code();
}

SIZE_T TovanProcess::PeakWorkingSet() const {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!child_->started() ||
      !GetProcessMemoryInfo(child_->process_handle(), &counters, sizeof(counters))) {
    return 0;
  }
  return counters.PeakWorkingSetSize;
}

DWORD RunUnderDebugger(const LaunchOptions& options, DWORD timeout_ms,
                       std::vector<std::string>* debug_lines) {
  ChildOptions options_for_child = ChildOptionsFor(options);
  options_for_child.out = options_for_child.err = ChildStream::kInherit;
  options_for_child.creation_flags |= DEBUG_ONLY_THIS_PROCESS;
  // Debug events reach the thread that started the process: this one.
  ChildProcess child(options_for_child);
  if (!child.started()) {
    std::fprintf(stderr, "%s\n", child.start_error().c_str());
    return STILL_ACTIVE;
  }
  const HANDLE process = child.process_handle();

  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  DWORD exit_code = STILL_ACTIVE;
  bool killed = false;
  for (;;) {
    DEBUG_EVENT event{};
    if (!WaitForDebugEvent(&event, 200)) {
      if (!killed && GetTickCount64() > deadline) {
        TerminateProcess(process, STILL_ACTIVE);
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
          ReadProcessMemory(process, text.lpDebugStringData, wide.data(), units * sizeof(wchar_t),
                            nullptr);
          debug_lines->push_back(Narrow(wide.c_str()));
        } else {
          std::string narrow(units, '\0');
          ReadProcessMemory(process, text.lpDebugStringData, narrow.data(), units, nullptr);
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
