#pragma once

// Test tool: starts the real tovan.exe as a child process and watches it from
// outside, the way the program's end-to-end tests need: its output streams,
// its top-level window, its memory, its exit code, and, when started under
// this process as a debugger, its debugger output. Used on the test's main
// thread.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/text_files.h"

namespace tovan_test {

// The folder the build lays the bundle out in (tovan.exe, libraries, data\).
std::wstring BundleFolder();

// A new empty folder under the temporary folder, named after `name`.
std::wstring FreshFolder(const std::wstring& name);

// The lines of `text`, split at LF, each without a trailing CR.
std::vector<std::string> SplitLines(const std::string& text);

struct LaunchOptions {
  std::wstring executable;                // full path of tovan.exe
  std::wstring arguments;                 // the command line after the quoted path
  std::wstring working_folder;            // empty: the executable's folder
  bool detached = false;                  // no console at all (DETACHED_PROCESS)
  std::vector<std::wstring> environment;  // NAME=value entries added to ours
};

// One run of tovan.exe. Output (standard output and standard error) is read
// into `output` on a helper thread until the process has ended.
class TovanProcess {
 public:
  explicit TovanProcess(const LaunchOptions& options);
  ~TovanProcess();
  TovanProcess(const TovanProcess&) = delete;
  TovanProcess& operator=(const TovanProcess&) = delete;

  bool started() const { return child_->started(); }
  DWORD process_id() const { return child_->process_id(); }
  HANDLE process_handle() const { return child_->process_handle(); }

  // The process's top-level window of the runner's window class, or null.
  HWND FindMainWindow() const;

  // Waits for the process to end (kills it after `timeout_ms`); answers its
  // exit code, or STILL_ACTIVE when it had to be killed.
  DWORD Wait(DWORD timeout_ms);

  // Peak working set so far, in bytes (0 when the platform does not say).
  SIZE_T PeakWorkingSet() const;

  // What the process wrote to its standard output and error; complete after Wait.
  const std::string& output() const { return child_->out(); }

 private:
  std::unique_ptr<ChildProcess> child_;
};

// Runs tovan.exe to its end with this process as its debugger and answers the
// exit code; `debug_lines` receives every OutputDebugString text.
DWORD RunUnderDebugger(const LaunchOptions& options, DWORD timeout_ms,
                       std::vector<std::string>* debug_lines);

// Saves the screen area of `window` as a 24-bit BMP file. False when the
// screen could not be read.
bool SaveWindowScreenshot(HWND window, const std::wstring& path);

}  // namespace tovan_test
