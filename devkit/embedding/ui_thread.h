// The UI thread of one engine: the thread that created its view controller,
// on which the host must make the engine's UI-thread-only calls. Each engine
// records its own, so two engines on two threads are each checked against
// their own thread. Any thread may ask.
#ifndef DEVKIT_EMBEDDING_UI_THREAD_H_
#define DEVKIT_EMBEDDING_UI_THREAD_H_

#include <atomic>
#include <string>

namespace devkit {

class UiThread {
 public:
  UiThread() = default;
  ~UiThread();
  UiThread(const UiThread&) = delete;
  UiThread& operator=(const UiThread&) = delete;

  // Records the calling thread (when the view controller is created).
  void MarkCurrent();
  // True on the recorded thread, and on every thread before one is recorded.
  bool IsCurrent() const;

 private:
  std::atomic<unsigned long> id_{0};
};

// The trace's thread note: " thread=other" on a thread that is no live
// engine's UI thread (with none alive, not the latest one recorded), an
// empty text otherwise and before any UI thread is known.
std::string ThreadNote();

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_UI_THREAD_H_
