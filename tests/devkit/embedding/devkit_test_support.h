// Test support for the development embedding's tests: a temporary folder
// with an application bundle, engine properties built from owned texts, a
// message pump, trace reading, and a top-level window that hosts a view the
// way the host does.
#ifndef TESTS_DEVKIT_EMBEDDING_DEVKIT_TEST_SUPPORT_H_
#define TESTS_DEVKIT_EMBEDDING_DEVKIT_TEST_SUPPORT_H_

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "channel/flutter_windows_api.h"
#include "tests/support/text_files.h"

namespace devkit_test {

using tovan_test::Narrow;
using tovan_test::WriteWholeFile;

// A folder under the temporary directory, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::wstring& path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }
  // The same as UTF-8, for entry-point arguments.
  std::string FileUtf8(const std::wstring& name) const;

 private:
  std::wstring path_;
};

enum class BundlePart { kNone, kAssets, kIcuData, kAotLibrary };

// Creates folder\flutter_assets, folder\icudtl.dat and folder\app.so, except
// the part named by `leave_out`.
void MakeBundle(const std::wstring& folder, BundlePart leave_out = BundlePart::kNone);
void RemoveTree(const std::wstring& path);

// Runs one disabled test of this program in a child process, with
// `environment` set for it, and answers its exit code (a large value when it
// cannot be started or does not end within a minute). With an `output_path`,
// the child's standard output and error go to that file.
DWORD RunChildTest(const std::wstring& test,
                   const std::vector<std::pair<std::wstring, std::wstring>>& environment,
                   const std::wstring& output_path = L"");
std::wstring ExecutableFolder();

// Engine properties whose texts this object owns.
class Properties {
 public:
  Properties(const std::wstring& bundle_folder, std::vector<std::string> arguments);
  const FlutterDesktopEngineProperties* get();

  std::wstring assets;
  std::wstring icu_data;
  std::wstring aot_library;
  std::string entrypoint;
  std::vector<std::string> arguments;
  int32_t settings[4] = {};

 private:
  std::vector<const char*> argv_;
  FlutterDesktopEngineProperties record_{};
};

// Runs the calling thread's messages until `done` answers true or the
// timeout passes (a safety net against hangs, not a timing check); answers
// `done()`. A quit message is not dispatched: it sets `*quit` when given.
bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms = 15000, bool* quit = nullptr);
// Runs the calling thread's messages for about `ms` milliseconds.
void PumpFor(DWORD ms);

// What the UI side received in answer to delivered messages, with the thread
// each answer arrived on. RecordResponse is the response callback that fills
// it (its user data is the Responses).
struct Responses {
  std::vector<std::vector<uint8_t>> received;
  std::vector<DWORD> threads;
};
void RecordResponse(const uint8_t* data, size_t size, void* user_data);

// The file's lines, split at LF.
std::vector<std::string> ReadLines(const std::wstring& path);
// Lines that contain `text`.
std::vector<std::string> LinesWith(const std::vector<std::string>& lines, const std::string& text);
// Index of the first line containing `text` at or after `from`, or -1.
int FindLine(const std::vector<std::string>& lines, const std::string& text, int from = 0);

// Renumbers the handle names of a trace (engine#7 ...) from 1 per kind in
// order of first appearance, so that a trace can be compared with a fixed
// text whatever ran before in the process.
std::vector<std::string> Renumber(const std::vector<std::string>& lines);

// A top-level window that embeds a view the way the host does, destroys the
// view controller when it is destroyed, and records that.
class HostWindow {
 public:
  explicit HostWindow(bool visible);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  bool destroyed() const { return destroyed_; }
  // Embeds the controller's view as the child filling the client area; the
  // window destroys the controller in its WM_DESTROY, as the host does.
  void Adopt(FlutterDesktopViewControllerRef controller);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
  FlutterDesktopViewControllerRef controller_ = nullptr;
  bool destroyed_ = false;
};

}  // namespace devkit_test

#endif  // TESTS_DEVKIT_EMBEDDING_DEVKIT_TEST_SUPPORT_H_
