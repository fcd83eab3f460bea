#include "crash/crash_thread.h"

#include <atomic>

namespace {

// Both handles are owned for the life of the process: the thread's, to know whether it still
// runs, and an auto-reset event that hands it its job.
HANDLE g_thread = nullptr;
HANDLE g_jobPosted = nullptr;
std::atomic<DWORD> g_threadId{0};
std::atomic<void (*)()> g_job{nullptr};

// How long start-up waits for the thread to be running. A new thread first runs the loader's
// per-thread initialisation, which takes the loader lock and allocates from the process heap; a
// fault while it is still there (on a thread that holds the heap's lock, say) would find a
// watcher that holds the loader lock and waits for the heap, and a writer that needs the loader
// lock. Waiting here, once, at start-up, means every fault meets a thread that is past that.
constexpr DWORD kStartWaitMs = 10000;

DWORD WINAPI RunCrashThread(LPVOID running) {
  SetEvent(static_cast<HANDLE>(running));
  WaitForSingleObject(g_jobPosted, INFINITE);
  void (*job)() = g_job.load();
  if (job != nullptr) {
    job();
  }
  // One fault is recorded per process, so there is no second job. The thread stays parked rather
  // than ending: ending runs every DLL's thread-detach code under the loader lock, which a writer
  // that has stalled may be holding.
  Sleep(INFINITE);
  return 0;
}

bool IsRunning() { return g_thread != nullptr && WaitForSingleObject(g_thread, 0) == WAIT_TIMEOUT; }

}  // namespace

bool StartCrashThread() {
  if (g_threadId.load() != 0) {
    return true;
  }
  g_jobPosted = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (g_jobPosted == nullptr) {
    return false;
  }
  const HANDLE running = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (running == nullptr) {
    CloseHandle(g_jobPosted);
    g_jobPosted = nullptr;
    return false;
  }
  DWORD threadId = 0;
  // The default reservation: it costs no memory until touched and gives the shell and the
  // minidump writer the room they have on any thread.
  g_thread = CreateThread(nullptr, 0, RunCrashThread, running, 0, &threadId);
  if (g_thread == nullptr) {
    CloseHandle(running);
    CloseHandle(g_jobPosted);
    g_jobPosted = nullptr;
    return false;
  }
  const HANDLE started[] = {running, g_thread};
  // Should the wait time out, the thread will still set the event: it is then left open.
  if (WaitForMultipleObjects(2, started, FALSE, kStartWaitMs) != WAIT_TIMEOUT) {
    CloseHandle(running);
  }
  g_threadId.store(threadId);
  return true;
}

bool PostToCrashThread(void (*job)()) {
  if (!IsRunning() || g_threadId.load() == GetCurrentThreadId()) {
    return false;
  }
  void (*none)() = nullptr;
  if (!g_job.compare_exchange_strong(none, job)) {
    return false;
  }
  return SetEvent(g_jobPosted) != FALSE;
}

DWORD CrashThreadId() { return g_threadId.load(); }
