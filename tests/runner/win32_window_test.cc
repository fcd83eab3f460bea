// Win32Window with real windows on the display: placement at several DPIs
// (the embedding's DPI query is the fake of fake_dpi_embedding.cc), the hidden
// start, the hosted child, DPI changes, the quit message, the window class's
// lifetime and the theme preference read from the real registry.
#include "runner/win32_window.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

extern "C" {
__declspec(dllimport) void FakeEmbeddingSetDpi(UINT dpi);
__declspec(dllimport) HMONITOR FakeEmbeddingLastMonitor();
}

namespace {

constexpr const wchar_t kClassName[] = L"FLUTTER_RUNNER_WIN32_WINDOW";
constexpr const wchar_t kThemeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr const wchar_t kThemeValue[] = L"AppsUseLightTheme";

// Records what the base class calls and can refuse its content.
class RecordingWindow : public Win32Window {
 public:
  bool content_result = true;
  int create_content_calls = 0;
  int destroy_content_calls = 0;
  HWND handle_at_destroy_content = reinterpret_cast<HWND>(1);
  std::vector<UINT> messages;

 protected:
  LRESULT ProcessMessage(HWND window, UINT message, WPARAM wparam,
                         LPARAM lparam) noexcept override {
    messages.push_back(message);
    return Win32Window::ProcessMessage(window, message, wparam, lparam);
  }
  bool CreateContent() override {
    ++create_content_calls;
    return content_result;
  }
  void DestroyContent() override {
    ++destroy_content_calls;
    handle_at_destroy_content = GetHandle();
  }
};

bool ClassRegistered() {
  WNDCLASSW info;
  return GetClassInfoW(GetModuleHandleW(nullptr), kClassName, &info) != 0;
}

// Drops every pending message of this thread; answers the code of a quit
// message among them, if there was one.
std::optional<WPARAM> DrainMessages() {
  std::optional<WPARAM> quit;
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quit = message.wParam;
    } else {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return quit;
}

RECT WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

// The child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child) {
  RECT rect = WindowRect(child);
  MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string Describe(const RECT& r) {
  return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ") " +
         std::to_string(r.right - r.left) + " x " + std::to_string(r.bottom - r.top);
}

class Win32WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    FakeEmbeddingSetDpi(96);
    DrainMessages();
  }
  void TearDown() override { DrainMessages(); }
};

TEST_F(Win32WindowTest, CreatesTheWindowHiddenAtTheDpiScaledPlacement) {
  struct Case {
    UINT dpi;
    Win32Window::Size size;  // logical; kept within what the display lets a window take
    RECT expected;           // left, top, right, bottom
  };
  const Case cases[] = {
      {96, {720, 600}, {10, 10, 730, 610}},
      {120, {720, 600}, {12, 12, 912, 762}},
      {144, {720, 600}, {15, 15, 1095, 915}},
      {168, {401, 301}, {17, 17, 718, 543}},  // scale 1.75 truncates: 17.5, 701.75, 526.75
  };
  for (const Case& c : cases) {
    FakeEmbeddingSetDpi(c.dpi);
    RecordingWindow window;
    ASSERT_TRUE(window.OpenWindow(L"Tovan Phone", {10, 10}, c.size)) << c.dpi;
    HWND handle = window.GetHandle();
    ASSERT_NE(handle, nullptr);
    const RECT actual = WindowRect(handle);
    EXPECT_EQ(Describe(actual), Describe(c.expected)) << "at " << c.dpi << " DPI";
    EXPECT_FALSE(IsWindowVisible(handle)) << "visible right after creation at " << c.dpi;
    EXPECT_EQ(FakeEmbeddingLastMonitor(), MonitorFromPoint({10, 10}, MONITOR_DEFAULTTONEAREST));

    wchar_t title[64] = {};
    GetWindowTextW(handle, title, 64);
    EXPECT_STREQ(title, L"Tovan Phone");
    wchar_t class_name[64] = {};
    GetClassNameW(handle, class_name, 64);
    EXPECT_STREQ(class_name, kClassName);
    EXPECT_EQ(GetWindowLongW(handle, GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
    EXPECT_EQ(window.create_content_calls, 1);
  }
}

TEST_F(Win32WindowTest, MakeVisibleShowsTheWindowAndAnswersWhetherItWasVisible) {
  RecordingWindow window;
  ASSERT_TRUE(window.OpenWindow(L"Tovan Phone", {10, 10}, {720, 600}));
  EXPECT_FALSE(window.MakeVisible());
  EXPECT_TRUE(IsWindowVisible(window.GetHandle()));
  EXPECT_TRUE(window.MakeVisible());
}

TEST_F(Win32WindowTest, FailedContentLeavesTheWindowHiddenAndAnswersFalse) {
  RecordingWindow window;
  window.content_result = false;
  EXPECT_FALSE(window.OpenWindow(L"Tovan Phone", {10, 10}, {720, 600}));
  ASSERT_NE(window.GetHandle(), nullptr);
  EXPECT_TRUE(IsWindow(window.GetHandle()));
  EXPECT_FALSE(IsWindowVisible(window.GetHandle()));
}

TEST_F(Win32WindowTest, TheAdoptedChildFillsTheClientAreaAndTakesTheFocus) {
  RecordingWindow window;
  ASSERT_TRUE(window.OpenWindow(L"Tovan Phone", {10, 10}, {720, 600}));
  window.MakeVisible();
  HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 5, 5,
                               window.GetHandle(), nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(child, nullptr);
  // A child of another parent first, so that AdoptChild must move it.
  SetParent(child, GetDesktopWindow());
  window.AdoptChild(child);
  EXPECT_EQ(GetParent(child), window.GetHandle());
  EXPECT_EQ(GetFocus(), child);
  EXPECT_EQ(Describe(ChildRect(child)), Describe(window.ClientRectangle())) << "after adoption";

  const SIZE sizes[] = {{500, 400}, {1000, 300}, {300, 900}};
  for (const SIZE& size : sizes) {
    SetWindowPos(window.GetHandle(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
    DrainMessages();
    EXPECT_EQ(Describe(ChildRect(child)), Describe(window.ClientRectangle()))
        << "after resizing to " << size.cx << " x " << size.cy;
  }

  SetFocus(nullptr);
  SendMessageW(window.GetHandle(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(GetFocus(), child) << "activation gives the child the focus";
}

TEST_F(Win32WindowTest, TakesTheSuggestedRectangleOnADpiChange) {
  RecordingWindow window;
  ASSERT_TRUE(window.OpenWindow(L"Tovan Phone", {10, 10}, {720, 600}));
  RECT suggested = {40, 50, 40 + 1080, 50 + 900};
  EXPECT_EQ(SendMessageW(window.GetHandle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                         reinterpret_cast<LPARAM>(&suggested)),
            0);
  EXPECT_EQ(Describe(WindowRect(window.GetHandle())), Describe(suggested));
}

TEST_F(Win32WindowTest, DestroyingPostsTheQuitMessageOnlyWhenAsked) {
  for (bool quit_when_destroyed : {true, false}) {
    RecordingWindow window;
    ASSERT_TRUE(window.OpenWindow(L"Tovan Phone", {10, 10}, {720, 600}));
    window.SetQuitWhenDestroyed(quit_when_destroyed);
    const int calls_before = window.destroy_content_calls;
    DestroyWindow(window.GetHandle());
    EXPECT_EQ(window.GetHandle(), nullptr);
    EXPECT_EQ(window.destroy_content_calls, calls_before + 1);
    EXPECT_EQ(window.handle_at_destroy_content, nullptr)
        << "the handle is cleared before the content is released";
    const std::optional<WPARAM> quit = DrainMessages();
    if (quit_when_destroyed) {
      ASSERT_TRUE(quit.has_value()) << "no quit message";
      EXPECT_EQ(*quit, 0u);
    } else {
      EXPECT_FALSE(quit.has_value()) << "quit message without being asked";
    }
  }
}

TEST_F(Win32WindowTest, TheClassLivesWhileAWindowObjectDoes) {
  {
    RecordingWindow first;
    ASSERT_TRUE(first.OpenWindow(L"one", {10, 10}, {200, 100}));
    EXPECT_TRUE(ClassRegistered());
    {
      RecordingWindow second;
      ASSERT_TRUE(second.OpenWindow(L"two", {30, 30}, {200, 100}));
    }
    EXPECT_TRUE(ClassRegistered()) << "unregistered while another object lives";
    DestroyWindow(first.GetHandle());
    EXPECT_TRUE(ClassRegistered()) << "unregistered while its object still lives";
  }
  EXPECT_FALSE(ClassRegistered()) << "still registered after the last object";

  // Registered again on the next opening.
  RecordingWindow again;
  EXPECT_TRUE(again.OpenWindow(L"again", {10, 10}, {200, 100}));
  EXPECT_TRUE(ClassRegistered());
}

TEST_F(Win32WindowTest, TearDownReleasesTheContentAndTheWindow) {
  RecordingWindow window;
  ASSERT_TRUE(window.OpenWindow(L"Tovan Phone", {10, 10}, {720, 600}));
  HWND handle = window.GetHandle();
  window.TearDown();
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ(window.GetHandle(), nullptr);
  EXPECT_GE(window.destroy_content_calls, 1);
  window.TearDown();  // without a window: nothing to do, nothing breaks

  // A second OpenWindow replaces the first window.
  ASSERT_TRUE(window.OpenWindow(L"first", {10, 10}, {200, 100}));
  HWND first = window.GetHandle();
  ASSERT_TRUE(window.OpenWindow(L"second", {10, 10}, {200, 100}));
  EXPECT_FALSE(IsWindow(first));
  EXPECT_TRUE(IsWindow(window.GetHandle()));
}

// The theme preference, through the attribute seam (Wine accepts the
// attribute and ignores it). The registry value is the real one of this
// prefix, restored afterwards.
struct AttributeCall {
  HWND window;
  DWORD attribute;
  BOOL value;
  DWORD size;
};
std::vector<AttributeCall> g_attribute_calls;

HRESULT WINAPI RecordAttribute(HWND window, DWORD attribute, LPCVOID value, DWORD size) {
  g_attribute_calls.push_back({window, attribute, *static_cast<const BOOL*>(value), size});
  return S_OK;
}

class ThemeTest : public Win32WindowTest {
 protected:
  void SetUp() override {
    Win32WindowTest::SetUp();
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kThemeKey, kThemeValue, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) == ERROR_SUCCESS) {
      saved_ = value;
    }
    previous_setter_ = Win32Window::ReplaceWindowAttributeSetterForTesting(&RecordAttribute);
    g_attribute_calls.clear();
  }
  void TearDown() override {
    Win32Window::ReplaceWindowAttributeSetterForTesting(previous_setter_);
    if (saved_) {
      SetPreference(*saved_);
    } else {
      RemovePreference();
    }
    Win32WindowTest::TearDown();
  }
  static void SetPreference(DWORD value) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kThemeKey, kThemeValue, REG_DWORD, &value,
                              sizeof(value)),
              ERROR_SUCCESS);
  }
  static void RemovePreference() { RegDeleteKeyValueW(HKEY_CURRENT_USER, kThemeKey, kThemeValue); }

 private:
  std::optional<DWORD> saved_;
  Win32Window::WindowAttributeSetter previous_setter_ = nullptr;
};

TEST_F(ThemeTest, DarkPreferenceSetsTheDarkModeAttributeAtCreation) {
  SetPreference(0);
  RecordingWindow window;
  ASSERT_TRUE(window.OpenWindow(L"Tovan Phone", {10, 10}, {720, 600}));
  ASSERT_EQ(g_attribute_calls.size(), 1u);
  EXPECT_EQ(g_attribute_calls[0].window, window.GetHandle());
  EXPECT_EQ(g_attribute_calls[0].attribute, 20u);
  EXPECT_EQ(g_attribute_calls[0].value, TRUE);
  EXPECT_EQ(g_attribute_calls[0].size, 4u);
}

TEST_F(ThemeTest, LightPreferenceClearsTheAttributeAndAnAbsentOneLeavesItAlone) {
  SetPreference(1);
  {
    RecordingWindow window;
    ASSERT_TRUE(window.OpenWindow(L"Tovan Phone", {10, 10}, {720, 600}));
    ASSERT_EQ(g_attribute_calls.size(), 1u);
    EXPECT_EQ(g_attribute_calls[0].value, FALSE);
  }
  g_attribute_calls.clear();
  RemovePreference();
  RecordingWindow window;
  ASSERT_TRUE(window.OpenWindow(L"Tovan Phone", {10, 10}, {720, 600}));
  EXPECT_TRUE(g_attribute_calls.empty()) << "attribute set without a preference";
}

TEST_F(ThemeTest, AChangedPreferenceTakesEffectAtTheNextColorizationChange) {
  SetPreference(1);
  RecordingWindow window;
  ASSERT_TRUE(window.OpenWindow(L"Tovan Phone", {10, 10}, {720, 600}));
  SetPreference(0);
  g_attribute_calls.clear();
  EXPECT_EQ(SendMessageW(window.GetHandle(), WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0), 0);
  ASSERT_EQ(g_attribute_calls.size(), 1u);
  EXPECT_EQ(g_attribute_calls[0].value, TRUE);
}

}  // namespace
