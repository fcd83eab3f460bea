// The entry point of tovan.exe: crash capture first, then the console, COM,
// the user interface bundle and arguments, the window and the message loop of
// the single user-interface thread.
#include <objbase.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "channel/project_settings.h"
#include "crash/crash_handlers.h"
#include "runner/debug_console.h"
#include "runner/entry_arguments.h"
#include "runner/flutter_window.h"

namespace {

// Passed on relative, as it is: resolving it is the embedding's business
// (it looks beside the executable, not in the working directory).
constexpr const wchar_t kDataDirectory[] = L"data";

}  // namespace

int APIENTRY wWinMain(_In_ HINSTANCE, _In_opt_ HINSTANCE, _In_ wchar_t*, _In_ int) {
  // Before anything else, so that a fault anywhere in start-up is captured.
  InstallCrashHandlers();
  RegisterLocalDumps();

  // Started from a console (flutter run, a terminal): print to it. Under a
  // debugger without one: open one, so that output is not lost.
  if (!AttachConsole(ATTACH_PARENT_PROCESS) && IsDebuggerPresent()) {
    OpenDebugConsole();
  }

  // The user-interface thread is a single-threaded apartment for the
  // plugins' COM objects. Another model already set (RPC_E_CHANGED_MODE) is
  // kept as it is and is not ours to undo.
  const HRESULT com_result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const bool com_initialized = com_result == S_OK || com_result == S_FALSE;
  if (FAILED(com_result) && com_result != RPC_E_CHANGED_MODE) {
    OutputDebugStringA("[Tovan] WARNING: CoInitializeEx failed");
  }

  flutter::ProjectSettings project = flutter::BundleSettings(kDataDirectory);
  project.entrypoint_arguments = CollectEntryArguments();

  int exit_code = 1;
  {
    FlutterWindow window(project);
    if (window.OpenWindow(L"Tovan Phone", Win32Window::Point{10, 10},
                          Win32Window::Size{720, 600})) {
      window.SetQuitWhenDestroyed(true);
      MSG message;
      while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      exit_code = 0;
    }
    if (com_initialized) {
      CoUninitialize();
    }
  }
  return exit_code;
}
