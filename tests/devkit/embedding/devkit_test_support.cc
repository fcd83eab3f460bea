#include "tests/devkit/embedding/devkit_test_support.h"

#include <cstdio>
#include <map>
#include <regex>

#include "tests/support/child_process.h"

namespace devkit_test {

namespace {}  // namespace

TempFolder::TempFolder() {
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  static int counter = 0;
  for (;;) {
    path_ = std::wstring(temp) + L"devkit_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(++counter);
    if (CreateDirectoryW(path_.c_str(), nullptr)) break;
  }
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::string TempFolder::FileUtf8(const std::wstring& name) const { return Narrow(File(name)); }

void MakeBundle(const std::wstring& folder, BundlePart leave_out) {
  CreateDirectoryW(folder.c_str(), nullptr);
  if (leave_out != BundlePart::kAssets) {
    CreateDirectoryW((folder + L"\\flutter_assets").c_str(), nullptr);
  }
  if (leave_out != BundlePart::kIcuData) WriteWholeFile(folder + L"\\icudtl.dat", "");
  if (leave_out != BundlePart::kAotLibrary) WriteWholeFile(folder + L"\\app.so", "");
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}

std::wstring ExecutableFolder() {
  wchar_t module[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring path(module, length);
  return path.substr(0, path.find_last_of(L"\\/"));
}

Properties::Properties(const std::wstring& bundle_folder, std::vector<std::string> args)
    : assets(bundle_folder + L"\\flutter_assets"),
      icu_data(bundle_folder + L"\\icudtl.dat"),
      aot_library(bundle_folder + L"\\app.so"),
      arguments(std::move(args)) {}

const FlutterDesktopEngineProperties* Properties::get() {
  argv_.clear();
  for (const std::string& argument : arguments) argv_.push_back(argument.c_str());
  record_ = FlutterDesktopEngineProperties{};
  record_.assets_path = assets.c_str();
  record_.icu_data_path = icu_data.c_str();
  record_.aot_library_path = aot_library.c_str();
  record_.entrypoint = entrypoint.c_str();
  record_.entrypoint_argc = static_cast<int32_t>(argv_.size());
  record_.entrypoint_argv = argv_.empty() ? nullptr : argv_.data();
  for (int i = 0; i < 4; ++i) record_.engine_settings[i] = settings[i];
  return &record_;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms, bool* quit) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  MSG message;
  while (!done()) {
    if (GetTickCount64() > deadline) return false;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        if (quit != nullptr) *quit = true;
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
      if (done()) return true;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

void PumpFor(DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  PumpUntil([deadline] { return GetTickCount64() > deadline; }, ms + 1000);
}

void RecordResponse(const uint8_t* data, size_t size, void* user_data) {
  auto* responses = static_cast<Responses*>(user_data);
  responses->received.emplace_back(data, data + size);
  responses->threads.push_back(GetCurrentThreadId());
}

std::vector<std::string> ReadLines(const std::wstring& path) {
  const std::string contents = tovan_test::ReadWholeFile(path);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < contents.size()) {
    size_t end = contents.find('\n', start);
    if (end == std::string::npos) end = contents.size();
    lines.push_back(contents.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> LinesWith(const std::vector<std::string>& lines, const std::string& text) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.find(text) != std::string::npos) found.push_back(line);
  }
  return found;
}

int FindLine(const std::vector<std::string>& lines, const std::string& text, int from) {
  for (size_t i = static_cast<size_t>(from); i < lines.size(); ++i) {
    if (lines[i].find(text) != std::string::npos) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> Renumber(const std::vector<std::string>& lines) {
  static const std::regex handle(
      "(engine|controller|view|messenger|registrar|textures|response)#([0-9]+)");
  std::map<std::string, std::map<std::string, int>> numbers;
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    std::string result;
    auto begin = std::sregex_iterator(line.begin(), line.end(), handle);
    size_t last = 0;
    for (auto it = begin; it != std::sregex_iterator(); ++it) {
      const std::smatch& match = *it;
      auto& kind = numbers[match[1].str()];
      auto found = kind.find(match[2].str());
      int number = 0;
      if (found != kind.end()) {
        number = found->second;
      } else {
        number = static_cast<int>(kind.size()) + 1;
        kind[match[2].str()] = number;
      }
      result += line.substr(last, static_cast<size_t>(match.position(0)) - last);
      result += match[1].str() + "#" + std::to_string(number);
      last = static_cast<size_t>(match.position(0) + match.length(0));
    }
    result += line.substr(last);
    out.push_back(result);
  }
  return out;
}

HostWindow::HostWindow(bool visible) {
  static bool registered = false;
  if (!registered) {
    registered = true;
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &HostWindow::WindowProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"DevkitTestHostWindow";
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassExW(&window_class);
  }
  hwnd_ = CreateWindowExW(0, L"DevkitTestHostWindow", L"devkit test host",
                          WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 10, 10, 720, 600,
                          nullptr, nullptr, GetModuleHandleW(nullptr), this);
}

HostWindow::~HostWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

void HostWindow::Adopt(FlutterDesktopViewControllerRef controller) {
  controller_ = controller;
  HWND child = FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(controller));
  SetParent(child, hwnd_);
  RECT client;
  GetClientRect(hwnd_, &client);
  MoveWindow(child, 0, 0, client.right - client.left, client.bottom - client.top, TRUE);
}

LRESULT CALLBACK HostWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr && self->controller_ != nullptr) {
    LRESULT result = 0;
    if (FlutterDesktopViewControllerHandleTopLevelWindowProc(self->controller_, window, message,
                                                             wparam, lparam, &result)) {
      return result;
    }
  }
  if (self != nullptr && message == WM_SIZE) {
    HWND child = GetWindow(window, GW_CHILD);
    if (child != nullptr) MoveWindow(child, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
  }
  if (self != nullptr && message == WM_DESTROY) {
    self->destroyed_ = true;
    self->hwnd_ = nullptr;
    if (self->controller_ != nullptr) {
      FlutterDesktopViewControllerRef controller = self->controller_;
      self->controller_ = nullptr;
      FlutterDesktopViewControllerDestroy(controller);
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

DWORD RunChildTest(const std::wstring& test,
                   const std::vector<std::pair<std::wstring, std::wstring>>& environment,
                   const std::wstring& output_path) {
  wchar_t program[MAX_PATH];
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  tovan_test::ChildOptions options;
  options.command_line = tovan_test::QuoteArgument(program) + L" --gtest_filter=" + test +
                         L" --gtest_also_run_disabled_tests";
  for (const auto& variable : environment) {
    options.environment.push_back(variable.first + L"=" + variable.second);
  }
  // The child is part of this test, not a test run of its own: no report.
  options.environment.push_back(L"GTEST_OUTPUT");
  options.out = options.err =
      output_path.empty() ? tovan_test::ChildStream::kInherit : tovan_test::ChildStream::kFile;
  options.output_file = output_path;
  tovan_test::ChildProcess child(options);
  if (!child.started()) {
    std::fprintf(stderr, "%s\n", child.start_error().c_str());
    return 0xFFFFFFFF;
  }
  if (!child.WaitForExit(60000)) {
    child.Terminate(1);
    return 0xFFFFFFFE;
  }
  return child.exit_code();
}

}  // namespace devkit_test
