#include "runner/win32_window.h"

#include <dwmapi.h>

#include "channel/flutter_windows_api.h"

namespace {

constexpr const wchar_t kWindowClassName[] = L"FLUTTER_RUNNER_WIN32_WINDOW";
constexpr int kAppIconResource = 101;

constexpr const wchar_t kThemePreferenceKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr const wchar_t kThemePreferenceValue[] = L"AppsUseLightTheme";
// DWMWA_USE_IMMERSIVE_DARK_MODE; older SDK headers do not name it.
constexpr DWORD kDarkModeAttribute = 20;

// Counts the live Win32Window objects; the window class is unregistered when
// the last one is cleaned up.
int g_window_instance_count = 0;

Win32Window::WindowAttributeSetter g_window_attribute_setter = &DwmSetWindowAttribute;

int Scale(int logical, double scale) { return static_cast<int>(logical * scale); }

// Registers the window class on first use and unregisters it when the last
// window object goes. Created once, never freed: it only holds a flag.
class WindowClassHolder {
 public:
  static WindowClassHolder& Get() {
    static WindowClassHolder* holder = new WindowClassHolder();
    return *holder;
  }

  const wchar_t* GetWindowClass() {
    if (!class_registered_) {
      WNDCLASSW window_class{};
      window_class.style = CS_HREDRAW | CS_VREDRAW;
      window_class.lpfnWndProc = &Win32Window::WindowProcedure;
      window_class.hInstance = GetModuleHandleW(nullptr);
      window_class.hIcon = LoadIconW(window_class.hInstance, MAKEINTRESOURCEW(kAppIconResource));
      window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      window_class.lpszClassName = kWindowClassName;
      // A failed registration shows as a failed window creation.
      RegisterClassW(&window_class);
      class_registered_ = true;
    }
    return kWindowClassName;
  }

  void UnregisterWindowClass() {
    UnregisterClassW(kWindowClassName, nullptr);
    class_registered_ = false;
  }

 private:
  WindowClassHolder() = default;
  bool class_registered_ = false;
};

// Lets the platform scale the title bar and borders with the monitor's DPI.
// The function exists only from Windows 10 1607 on, so it is looked up.
void EnableFullDpiSupportIfAvailable(HWND window) {
  HMODULE user32 = LoadLibraryA("User32.dll");
  if (user32 == nullptr) {
    return;
  }
  using EnableNonClientDpiScaling = BOOL(WINAPI*)(HWND);
  auto enable = reinterpret_cast<EnableNonClientDpiScaling>(
      reinterpret_cast<void*>(GetProcAddress(user32, "EnableNonClientDpiScaling")));
  if (enable != nullptr) {
    enable(window);
  }
  FreeLibrary(user32);
}

}  // namespace

Win32Window::Win32Window() { ++g_window_instance_count; }

Win32Window::~Win32Window() {
  --g_window_instance_count;
  // The derived part is gone by now, so only the base DestroyContent runs.
  TearDown();
}

bool Win32Window::OpenWindow(const std::wstring& title, const Point& origin, const Size& size) {
  TearDown();

  const wchar_t* window_class = WindowClassHolder::Get().GetWindowClass();

  const POINT target_point = {static_cast<LONG>(origin.x), static_cast<LONG>(origin.y)};
  HMONITOR monitor = MonitorFromPoint(target_point, MONITOR_DEFAULTTONEAREST);
  const UINT dpi = FlutterDesktopGetDpiForMonitor(monitor);
  const double scale = dpi / 96.0;

  HWND window =
      CreateWindowExW(0, window_class, title.c_str(), WS_OVERLAPPEDWINDOW, Scale(origin.x, scale),
                      Scale(origin.y, scale), Scale(size.width, scale), Scale(size.height, scale),
                      nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (window == nullptr) {
    return false;
  }

  ApplyThemePreference(window);

  return CreateContent();
}

bool Win32Window::MakeVisible() { return ShowWindow(window_handle_, SW_SHOWNORMAL) != 0; }

void Win32Window::TearDown() {
  DestroyContent();
  if (window_handle_ != nullptr) {
    DestroyWindow(window_handle_);
    window_handle_ = nullptr;
  }
  if (g_window_instance_count == 0) {
    WindowClassHolder::Get().UnregisterWindowClass();
  }
}

void Win32Window::AdoptChild(HWND child) {
  child_window_ = child;
  SetParent(child, window_handle_);
  const RECT frame = ClientRectangle();
  MoveWindow(child, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
             TRUE);
  SetFocus(child);
}

RECT Win32Window::ClientRectangle() {
  RECT frame{};
  GetClientRect(window_handle_, &frame);
  return frame;
}

void Win32Window::SetQuitWhenDestroyed(bool quit_when_destroyed) {
  quit_when_destroyed_ = quit_when_destroyed;
}

LRESULT CALLBACK Win32Window::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                              LPARAM lparam) noexcept {
  if (message == WM_NCCREATE) {
    auto* create_struct = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* owner = static_cast<Win32Window*>(create_struct->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    EnableFullDpiSupportIfAvailable(window);
    owner->window_handle_ = window;
    return DefWindowProcW(window, message, wparam, lparam);
  }
  // Messages before WM_NCCREATE (WM_GETMINMAXINFO, for one) have no owner yet.
  auto* owner = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (owner != nullptr) {
    return owner->ProcessMessage(window, message, wparam, lparam);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT Win32Window::ProcessMessage(HWND window, UINT message, WPARAM wparam,
                                    LPARAM lparam) noexcept {
  switch (message) {
    case WM_DESTROY:
      window_handle_ = nullptr;
      DestroyContent();
      if (g_window_instance_count == 0) {
        WindowClassHolder::Get().UnregisterWindowClass();
      }
      if (quit_when_destroyed_) {
        PostQuitMessage(0);
      }
      return 0;

    case WM_SIZE: {
      const RECT frame = ClientRectangle();
      if (child_window_ != nullptr) {
        MoveWindow(child_window_, frame.left, frame.top, frame.right - frame.left,
                   frame.bottom - frame.top, TRUE);
      }
      return 0;
    }

    case WM_ACTIVATE:
      if (child_window_ != nullptr) {
        SetFocus(child_window_);
      }
      return 0;

    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }

    case WM_DWMCOLORIZATIONCOLORCHANGED:
      ApplyThemePreference(window);
      return 0;
  }
  // Default processing goes to the stored handle rather than the one the
  // message came with; from WM_DESTROY on that handle is null.
  return DefWindowProcW(window_handle_, message, wparam, lparam);
}

bool Win32Window::CreateContent() { return true; }

void Win32Window::DestroyContent() {}

void Win32Window::ApplyThemePreference(HWND window) {
  DWORD light_mode = 0;
  DWORD light_mode_size = sizeof(light_mode);
  const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, kThemePreferenceKey, kThemePreferenceValue,
                                      RRF_RT_REG_DWORD, nullptr, &light_mode, &light_mode_size);
  if (status != ERROR_SUCCESS) {
    return;
  }
  BOOL enable_dark_mode = light_mode == 0;
  g_window_attribute_setter(window, kDarkModeAttribute, &enable_dark_mode,
                            sizeof(enable_dark_mode));
}

Win32Window::WindowAttributeSetter Win32Window::ReplaceWindowAttributeSetterForTesting(
    WindowAttributeSetter setter) {
  WindowAttributeSetter previous = g_window_attribute_setter;
  g_window_attribute_setter = setter != nullptr ? setter : &DwmSetWindowAttribute;
  return previous;
}
