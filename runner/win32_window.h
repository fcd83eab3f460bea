// Win32Window: the process's top-level window. A DPI-aware, resizable,
// overlapped window that follows the user's light or dark application theme,
// hosts exactly one child window filling its client area, and can end the
// message loop when it is destroyed. Derived classes fill it through
// CreateContent and DestroyContent.
//
// The entry point owns the one object; every operation runs on the thread that
// created the window (the user-interface thread). The window class is shared
// by all objects and registered while at least one of them exists.
#ifndef RUNNER_WIN32_WINDOW_H_
#define RUNNER_WIN32_WINDOW_H_

#include <windows.h>

#include <string>

class Win32Window {
 public:
  // Logical pixels at 96 DPI; OpenWindow scales them to the monitor's DPI.
  struct Point {
    int x;
    int y;
  };
  struct Size {
    int width;
    int height;
  };

  // Sets the frame's dark-mode attribute. The default is
  // DwmSetWindowAttribute; tests replace it to watch the call on platforms
  // that accept and ignore the attribute.
  using WindowAttributeSetter = HRESULT(WINAPI*)(HWND window, DWORD attribute, LPCVOID value,
                                                 DWORD size);

  Win32Window();
  virtual ~Win32Window();

  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // Creates the platform window, hidden, at origin and size scaled to the DPI
  // of the monitor nearest to origin, applies the theme and creates the
  // content. False when the window or its content could not be created.
  bool OpenWindow(const std::wstring& title, const Point& origin, const Size& size);

  // Shows the window; true when it was visible already.
  bool MakeVisible();

  // Releases the content and destroys the platform window. Safe without one.
  void TearDown();

  // Makes child the hosted window: reparented, sized to the client area and
  // given the keyboard focus.
  void AdoptChild(HWND child);

  RECT ClientRectangle();

  // When set, destroying the window posts the quit message (code 0).
  void SetQuitWhenDestroyed(bool quit_when_destroyed);

  // The platform window, or null before creation and after destruction.
  HWND GetHandle() const { return window_handle_; }

  // The window class's procedure: routes each message to the owning object.
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                          LPARAM lparam) noexcept;

  // Gives window a dark frame when the user chose dark applications; changes
  // nothing when the preference cannot be read.
  static void ApplyThemePreference(HWND window);

  // Replaces the attribute setter (null restores the default) and answers the
  // one it replaced.
  static WindowAttributeSetter ReplaceWindowAttributeSetterForTesting(WindowAttributeSetter setter);

 protected:
  // The object's message handler. Derived classes call it for what they do
  // not handle themselves.
  virtual LRESULT ProcessMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

  // Called at the end of OpenWindow once the platform window exists.
  virtual bool CreateContent();

  // Called when the window is destroyed or the object cleaned up.
  virtual void DestroyContent();

 private:
  bool quit_when_destroyed_ = false;
  HWND window_handle_ = nullptr;
  HWND child_window_ = nullptr;
};

#endif  // RUNNER_WIN32_WINDOW_H_
