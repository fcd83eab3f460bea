// FlutterWindow in this process with the development embedding beside the
// test program (its bundle there too): what the window asks of the embedding
// and when, read back from the embedding's trace.
#include "runner/flutter_window.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "channel/project_settings.h"
#include "devkit/embedding/devkit_test_api.h"
#include "tests/devkit/embedding/devkit_test_support.h"
#include "tests/runner/tovan_process.h"

namespace {

using devkit_test::PumpUntil;
using tovan_test::Narrow;
using tovan_test::ReadWholeFile;
using tovan_test::SplitLines;

class FlutterWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::wstring folder = tovan_test::FreshFolder(L"flutter_window");
    trace_path_ = folder + L"\\" +
                  tovan_test::Widen(testing::UnitTest::GetInstance()->current_test_info()->name()) +
                  L".trace";
    FlutterDevkitSetTraceFile(Narrow(trace_path_).c_str());
  }
  void TearDown() override { FlutterDevkitSetTraceFile(nullptr); }

  std::vector<std::string> Trace() const { return SplitLines(ReadWholeFile(trace_path_)); }

  static int Find(const std::vector<std::string>& trace, const std::string& prefix, int from = 0) {
    for (int i = from; i < static_cast<int>(trace.size()); ++i) {
      if (trace[static_cast<size_t>(i)].compare(0, prefix.size(), prefix) == 0) return i;
    }
    return -1;
  }
  static int Count(const std::vector<std::string>& trace, const std::string& prefix) {
    int count = 0;
    for (const std::string& line : trace) count += line.compare(0, prefix.size(), prefix) == 0;
    return count;
  }

  std::wstring trace_path_;
};

TEST_F(FlutterWindowTest, ShowsItselfOnlyAfterTheFirstFrame) {
  FlutterWindow window(flutter::BundleSettings(L"data"));
  ASSERT_TRUE(window.OpenWindow(L"Tovan Phone", {10, 10}, {720, 600}));
  HWND handle = window.GetHandle();
  EXPECT_FALSE(IsWindowVisible(handle)) << "visible before any frame";
  std::vector<std::string> trace = Trace();
  EXPECT_EQ(Find(trace, "event next-frame "), -1) << "the frame came inside OpenWindow";

  ASSERT_TRUE(PumpUntil([&]() { return IsWindowVisible(handle) != 0; }, 10000)) << "never shown";
  trace = Trace();
  EXPECT_GE(Find(trace, "event next-frame "), 0);

  // The view is the child and has the client area's size from the start.
  HWND view = GetWindow(handle, GW_CHILD);
  ASSERT_NE(view, nullptr);
  const RECT client = window.ClientRectangle();
  const int controller = Find(trace, "FlutterDesktopViewControllerCreate ");
  ASSERT_GE(controller, 0);
  EXPECT_NE(trace[static_cast<size_t>(controller)].find(
                "width=" + std::to_string(client.right - client.left) +
                " height=" + std::to_string(client.bottom - client.top) + " "),
            std::string::npos)
      << trace[static_cast<size_t>(controller)];
}

TEST_F(FlutterWindowTest, FontChangesReachTheEngineAfterTheViewSawThem) {
  FlutterWindow window(flutter::BundleSettings(L"data"));
  ASSERT_TRUE(window.OpenWindow(L"Tovan Phone", {10, 10}, {720, 600}));
  FlutterDevkitTrace("font change");
  SendMessageW(window.GetHandle(), WM_FONTCHANGE, 0, 0);
  const std::vector<std::string> trace = Trace();
  const int mark = Find(trace, "note font change");
  ASSERT_GE(mark, 0);
  const int offered = Find(trace, "FlutterDesktopViewControllerHandleTopLevelWindowProc ", mark);
  ASSERT_GT(offered, mark);
  EXPECT_NE(trace[static_cast<size_t>(offered)].find("message=0x001D"), std::string::npos);
  EXPECT_EQ(Find(trace, "FlutterDesktopEngineReloadSystemFonts ", mark), offered + 1);
}

TEST_F(FlutterWindowTest, DestroyingReleasesTheControllerBeforeTheQuitMessage) {
  FlutterWindow window(flutter::BundleSettings(L"data"));
  ASSERT_TRUE(window.OpenWindow(L"Tovan Phone", {10, 10}, {720, 600}));
  window.SetQuitWhenDestroyed(true);
  PumpUntil([&]() { return IsWindowVisible(window.GetHandle()) != 0; }, 10000);

  FlutterDevkitTrace("closing");
  PostMessageW(window.GetHandle(), WM_CLOSE, 0, 0);
  bool quit = false;
  PumpUntil([&]() { return quit; }, 10000, &quit);
  ASSERT_TRUE(quit) << "no quit message";
  EXPECT_EQ(window.GetHandle(), nullptr);

  const std::vector<std::string> trace = Trace();
  const int mark = Find(trace, "note closing");
  const int destroyed = Find(trace, "FlutterDesktopViewControllerDestroy ", mark);
  ASSERT_GT(destroyed, mark);
  EXPECT_EQ(Count(trace, "event registrar-destroyed "), 10);
  EXPECT_EQ(Count(trace, "FlutterDesktopViewControllerDestroy "), 1);
}

TEST_F(FlutterWindowTest, EveryOpeningRegistersEachPluginOnceAndReplacesTheEngine) {
  FlutterWindow window(flutter::BundleSettings(L"data"));
  ASSERT_TRUE(window.OpenWindow(L"Tovan Phone", {10, 10}, {720, 600}));
  FlutterDevkitTrace("second opening");
  ASSERT_TRUE(window.OpenWindow(L"Tovan Phone", {10, 10}, {720, 600}));
  const std::vector<std::string> trace = Trace();
  const int mark = Find(trace, "note second opening");
  ASSERT_GT(mark, 0);
  const std::vector<std::string> first(trace.begin(), trace.begin() + mark);
  const std::vector<std::string> second(trace.begin() + mark, trace.end());
  EXPECT_EQ(Count(first, "plugin "), 9);
  EXPECT_EQ(Count(second, "plugin "), 9);
  // The first controller ends before the second engine is created.
  const int destroyed = Find(second, "FlutterDesktopViewControllerDestroy ");
  const int created = Find(second, "FlutterDesktopEngineCreate ");
  ASSERT_GE(destroyed, 0);
  EXPECT_LT(destroyed, created);
  int audio = 0;
  for (const std::string& line : second) {
    audio += line.rfind("FlutterDesktopEngineGetPluginRegistrar ", 0) == 0 &&
             line.find("plugin=\"WindowsAudioPlugin\"") != std::string::npos;
  }
  EXPECT_EQ(audio, 1);
}

TEST_F(FlutterWindowTest, AMissingBundleFailsTheOpeningAndLeavesTheWindowHidden) {
  FlutterWindow window(flutter::BundleSettings(L"no-such-data"));
  EXPECT_FALSE(window.OpenWindow(L"Tovan Phone", {10, 10}, {720, 600}));
  HWND handle = window.GetHandle();
  ASSERT_NE(handle, nullptr) << "the platform window stays until the object goes";
  PumpUntil([]() { return false; }, 300);
  EXPECT_FALSE(IsWindowVisible(handle));
  const std::vector<std::string> trace = Trace();
  EXPECT_EQ(Count(trace, "plugin "), 0) << "plugins registered without a view";
  EXPECT_EQ(Find(trace, "FlutterDesktopEngineSetNextFrameCallback "), -1);
}

}  // namespace
