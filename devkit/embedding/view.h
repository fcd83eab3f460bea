// The view of a running engine: a child window that the host embeds, with
// the channel console in it. It stands in for the UI's rendering: a frame is
// presented when the window paints, or, while the window cannot paint because
// the host keeps it hidden, when a frame is asked for (at start and by
// ForceRedraw), as an engine renders off screen. After each frame the engine's
// next-frame callback runs, and after the first one the script, if any,
// starts.
//
// Owned by its engine; created and used on the UI thread, except PostTask,
// which any thread may call.
#ifndef DEVKIT_EMBEDDING_VIEW_H_
#define DEVKIT_EMBEDDING_VIEW_H_

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "channel/flutter_windows_api.h"
#include "devkit/embedding/handle_registry.h"

namespace devkit {

class ChannelConsole;
class Engine;
class ScriptRunner;

class View {
 public:
  View(Engine* engine, int width, int height);
  ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  FlutterDesktopViewRef handle() const { return handle_.get(); }

  // Null once the window has been destroyed (by the host's window tree or by
  // the engine's end).
  HWND window() const { return window_; }
  Engine* engine() const { return engine_; }
  ChannelConsole* console() const { return console_.get(); }
  ScriptRunner* script() const { return script_.get(); }
  uint64_t frames_presented() const { return frames_; }

  // Runs `task` on the UI thread from the message loop. Tasks still queued
  // when the view ends are dropped.
  void PostTask(std::function<void()> task);

  // Asks for a new frame (ForceRedraw).
  void RequestFrame();
  void ReloadFonts();
  // A message of the host's top-level window. A change of system settings is
  // consumed: the view lays its text out again and answers true with
  // `*result` 0. Everything else is left to the host (false), the text size
  // following a DPI change on the way.
  bool HandleTopLevelMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);

  // The engine is ending: the script stops and no task runs any more.
  void StopActivity();

  // Expires when the view is destroyed: code that calls into the host (which
  // may end the engine) checks it before touching the view again.
  std::weak_ptr<void> AliveToken() const { return alive_; }

  // Writes one line to the console's log pane, when the console is there.
  void Log(const std::string& line);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void PresentFrame();
  void AfterFrame();
  void RunTasks();
  void ApplyFont();
  UINT CurrentDpi() const;

  Engine* engine_;
  std::shared_ptr<void> alive_ = std::make_shared<int>(0);
  HWND holder_ = nullptr;  // hidden parent until the host adopts the view
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  std::unique_ptr<ChannelConsole> console_;
  std::unique_ptr<ScriptRunner> script_;
  bool script_started_ = false;
  uint64_t frames_ = 0;
  uint64_t paints_ = 0;

  std::mutex tasks_mutex_;
  std::deque<std::function<void()>> tasks_;
  bool accepting_tasks_ = true;
  HWND task_window_ = nullptr;  // window_, read under tasks_mutex_
  LibraryHandle<FlutterDesktopViewRef> handle_{HandleKind::kView, this};
};

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_VIEW_H_
