// Test tool: a stand-in flutter_windows.dll for the window tests. It provides
// only the embedding's monitor DPI query, answering whatever DPI the test set,
// so that the window's DPI scaling can be checked at any DPI on any display.
#define FLUTTER_DESKTOP_LIBRARY
#include "channel/flutter_windows_api.h"

namespace {
UINT g_dpi = 96;
HMONITOR g_last_monitor = nullptr;
}  // namespace

extern "C" {

FLUTTER_EXPORT UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor) {
  g_last_monitor = monitor;
  return g_dpi;
}

// The DPI every later query answers.
__declspec(dllexport) void FakeEmbeddingSetDpi(UINT dpi) { g_dpi = dpi; }

// The monitor of the latest query.
__declspec(dllexport) HMONITOR FakeEmbeddingLastMonitor() { return g_last_monitor; }

}  // extern "C"
