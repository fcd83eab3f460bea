#include "crash/crash_writer_thread.h"

#include <atomic>

namespace {

// MiniDumpWriteDump and the shell calls need far more than a faulting thread has left, though
// far less than this; the reservation commits only the pages they touch. (Under Wine the thread
// adds about 1 MiB to the working set whatever its stack: Wine's own per-thread structures.)
constexpr SIZE_T kWriterStackReserveBytes = 256 * 1024;

HANDLE g_jobPosted = nullptr;  // auto-reset event, owned for the life of the process
std::atomic<DWORD> g_writerThreadId{0};
std::atomic<void (*)()> g_job{nullptr};

DWORD WINAPI RunWriterThread(LPVOID) {
  for (;;) {
    WaitForSingleObject(g_jobPosted, INFINITE);
    void (*job)() = g_job.load();
    if (job != nullptr) {
      job();
    }
  }
}

}  // namespace

bool StartCrashWriterThread() {
  if (g_writerThreadId.load() != 0) {
    return true;
  }
  g_jobPosted = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (g_jobPosted == nullptr) {
    return false;
  }
  DWORD threadId = 0;
  // The thread lives as long as the process; its handle is not needed.
  const HANDLE thread = CreateThread(nullptr, kWriterStackReserveBytes, RunWriterThread, nullptr,
                                     STACK_SIZE_PARAM_IS_A_RESERVATION, &threadId);
  if (thread == nullptr) {
    CloseHandle(g_jobPosted);
    g_jobPosted = nullptr;
    return false;
  }
  CloseHandle(thread);
  g_writerThreadId.store(threadId);
  return true;
}

bool PostToCrashWriterThread(void (*job)()) {
  if (g_writerThreadId.load() == 0) {
    return false;
  }
  void (*none)() = nullptr;
  if (!g_job.compare_exchange_strong(none, job)) {
    return false;
  }
  return SetEvent(g_jobPosted) != FALSE;
}

DWORD CrashWriterThreadId() { return g_writerThreadId.load(); }
