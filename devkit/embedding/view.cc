#include "devkit/embedding/view.h"

#include <commctrl.h>

#include <string>
#include <utility>

#include "devkit/embedding/channel_console.h"
#include "devkit/embedding/engine.h"
#include "devkit/embedding/handle_registry.h"
#include "devkit/embedding/script_runner.h"
#include "devkit/embedding/trace_writer.h"

namespace devkit {
namespace {

constexpr wchar_t kViewClass[] = L"TovanDevkitView";
constexpr wchar_t kHolderClass[] = L"TovanDevkitViewHolder";

constexpr UINT kRunTasksMessage = WM_APP + 1;
constexpr UINT kFrameRequestMessage = WM_APP + 2;
constexpr UINT kFrameDoneMessage = WM_APP + 3;

HINSTANCE LibraryInstance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&LibraryInstance), &module);
  return module;
}

// Registers a class of this library; a class left behind by an earlier load
// of the library (whose procedure is gone) is replaced.
void RegisterOwnClass(const WNDCLASSEXW& window_class) {
  if (RegisterClassExW(&window_class) == 0 && GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
    UnregisterClassW(window_class.lpszClassName, window_class.hInstance);
    RegisterClassExW(&window_class);
  }
}

void RegisterClasses(WNDPROC view_procedure) {
  static bool registered = false;
  if (registered) return;
  registered = true;
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  WNDCLASSEXW view_class{};
  view_class.cbSize = sizeof(view_class);
  view_class.lpfnWndProc = view_procedure;
  view_class.hInstance = LibraryInstance();
  view_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  view_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  view_class.lpszClassName = kViewClass;
  RegisterOwnClass(view_class);

  WNDCLASSEXW holder_class{};
  holder_class.cbSize = sizeof(holder_class);
  holder_class.lpfnWndProc = DefWindowProcW;
  holder_class.hInstance = LibraryInstance();
  holder_class.lpszClassName = kHolderClass;
  RegisterOwnClass(holder_class);
}

}  // namespace

View::View(Engine* engine, int width, int height) : engine_(engine) {
  RegisterClasses(&View::WindowProc);
  // The view needs a parent to be a child window; a hidden holder keeps it
  // until the host adopts it with SetParent.
  holder_ = CreateWindowExW(0, kHolderClass, L"", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                            LibraryInstance(), nullptr);
  window_ =
      CreateWindowExW(WS_EX_CONTROLPARENT, kViewClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                      0, 0, width, height, holder_, nullptr, LibraryInstance(), this);
  {
    std::lock_guard<std::mutex> lock(tasks_mutex_);
    task_window_ = window_;
  }
  if (window_ != nullptr) {
    console_ = std::make_unique<ChannelConsole>(this, engine_->messenger());
    ApplyFont();
  }
  if (!engine_->options().script_path.empty()) {
    script_ = std::make_unique<ScriptRunner>(this, engine_->messenger(), engine_->options());
  }
  RequestFrame();
}

View::~View() {
  StopActivity();
  script_.reset();
  if (window_ != nullptr) DestroyWindow(window_);
  console_.reset();
  if (holder_ != nullptr) DestroyWindow(holder_);
  if (font_ != nullptr) DeleteObject(font_);
}

void View::PostTask(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(tasks_mutex_);
  if (!accepting_tasks_ || task_window_ == nullptr) return;
  const bool was_empty = tasks_.empty();
  tasks_.push_back(std::move(task));
  if (was_empty) PostMessageW(task_window_, kRunTasksMessage, 0, 0);
}

void View::RunTasks() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard<std::mutex> lock(tasks_mutex_);
    batch.swap(tasks_);
  }
  const std::weak_ptr<void> alive = alive_;
  for (auto& task : batch) {
    {
      std::lock_guard<std::mutex> lock(tasks_mutex_);
      if (!accepting_tasks_) return;
    }
    task();
    // A task that called into the host may have ended the engine.
    if (alive.expired()) return;
  }
}

void View::StopActivity() {
  if (script_) script_->Stop();
  std::deque<std::function<void()>> dropped;
  std::lock_guard<std::mutex> lock(tasks_mutex_);
  accepting_tasks_ = false;
  dropped.swap(tasks_);
}

void View::RequestFrame() {
  if (window_ != nullptr) PostMessageW(window_, kFrameRequestMessage, 0, 0);
}

void View::ReloadFonts() { ApplyFont(); }

bool View::HandleTopLevelMessage(UINT message, WPARAM, LPARAM, LRESULT* result) {
  // The host moves the view with the window; only the text size follows the
  // monitor's scale, and the host's resize (WM_SIZE) lays it out again.
  if (message == WM_DPICHANGED) ApplyFont();
  if (message != WM_SETTINGCHANGE) return false;
  ApplyFont();
  *result = 0;
  return true;
}

void View::Log(const std::string& line) {
  if (console_) console_->Log(line);
}

UINT View::CurrentDpi() const {
  const UINT dpi = window_ != nullptr ? GetDpiForWindow(window_) : 0;
  return dpi == 0 ? USER_DEFAULT_SCREEN_DPI : dpi;
}

void View::ApplyFont() {
  if (window_ == nullptr || !console_) return;
  // The default GUI font, at the size the view's monitor scale asks for.
  LOGFONTW description{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(description), &description);
  description.lfHeight = MulDiv(description.lfHeight, static_cast<int>(CurrentDpi()), 96);
  description.lfQuality = CLEARTYPE_QUALITY;
  HFONT font = CreateFontIndirectW(&description);
  console_->SetFont(font, CurrentDpi());
  if (font_ != nullptr) DeleteObject(font_);
  font_ = font;
}

void View::PresentFrame() {
  ++frames_;
  Trace().Line("event frame view=" + Handles().Name(HandleKind::kView, handle()) +
               " number=" + std::to_string(frames_));
  // The callback runs after the frame, from the message loop, never inside
  // the paint.
  if (window_ != nullptr) PostMessageW(window_, kFrameDoneMessage, 0, 0);
}

void View::AfterFrame() {
  const std::weak_ptr<void> alive = alive_;
  engine_->RunNextFrameCallback();
  // The host may have ended the engine from its callback.
  if (alive.expired()) return;
  if (script_ && !script_started_) {
    script_started_ = true;
    script_->Start();
  }
}

LRESULT CALLBACK View::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* view = reinterpret_cast<View*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (view == nullptr || view->window_ == nullptr) {
    if (view != nullptr && message == WM_NCCREATE) view->window_ = window;
    return DefWindowProcW(window, message, wparam, lparam);
  }
  return view->HandleMessage(message, wparam, lparam);
}

LRESULT View::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND window = window_;
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      ++paints_;
      PresentFrame();
      return 0;
    }
    case kFrameRequestMessage: {
      const uint64_t paints_before = paints_;
      RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
      // A hidden window does not paint; the frame is rendered off screen.
      if (paints_ == paints_before) PresentFrame();
      return 0;
    }
    case kFrameDoneMessage:
      AfterFrame();
      return 0;
    case kRunTasksMessage:
      RunTasks();
      return 0;
    case WM_SIZE:
      if (console_) console_->Layout(LOWORD(lparam), HIWORD(lparam), CurrentDpi());
      return 0;
    case WM_DPICHANGED_AFTERPARENT:
      ApplyFont();
      return 0;
    case WM_CTLCOLORSTATIC:
      // The read-only log pane keeps a window's white background.
      if (console_ && console_->IsLogPane(reinterpret_cast<HWND>(lparam))) {
        SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_WINDOW));
        SetTextColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    case WM_COMMAND:
      if (console_ && console_->HandleCommand(wparam, lparam)) return 0;
      break;
    case WM_TIMER:
      if (script_ && script_->HandleTimer(wparam)) return 0;
      if (console_ && console_->HandleTimer(wparam)) return 0;
      break;
    case WM_DESTROY:
      // The host's window tree is going (or the engine is ending): stop
      // everything that would use the window.
      if (script_) script_->Stop();
      console_.reset();
      break;
    case WM_NCDESTROY: {
      std::lock_guard<std::mutex> lock(tasks_mutex_);
      task_window_ = nullptr;
      tasks_.clear();
      window_ = nullptr;
      break;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace devkit
