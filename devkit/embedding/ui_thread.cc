#include "devkit/embedding/ui_thread.h"

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace devkit {
namespace {

// The UI threads of the live engines, and the latest one ever recorded.
struct KnownUiThreads {
  std::mutex mutex;
  std::vector<DWORD> live;
  DWORD latest = 0;
};

KnownUiThreads& Known() {
  // Never destroyed: calls may still arrive while the process exits.
  static KnownUiThreads* known = new KnownUiThreads();
  return *known;
}

void Forget(DWORD id) {
  if (id == 0) return;
  KnownUiThreads& known = Known();
  std::lock_guard<std::mutex> lock(known.mutex);
  const auto at = std::find(known.live.begin(), known.live.end(), id);
  if (at != known.live.end()) known.live.erase(at);
}

}  // namespace

UiThread::~UiThread() { Forget(id_.load()); }

void UiThread::MarkCurrent() {
  const DWORD current = GetCurrentThreadId();
  Forget(id_.exchange(current));
  KnownUiThreads& known = Known();
  std::lock_guard<std::mutex> lock(known.mutex);
  known.live.push_back(current);
  known.latest = current;
}

bool UiThread::IsCurrent() const {
  const DWORD id = id_.load();
  return id == 0 || id == GetCurrentThreadId();
}

std::string ThreadNote() {
  const DWORD current = GetCurrentThreadId();
  KnownUiThreads& known = Known();
  std::lock_guard<std::mutex> lock(known.mutex);
  const bool on_ui_thread = known.live.empty() ? known.latest == 0 || known.latest == current
                                               : std::find(known.live.begin(), known.live.end(),
                                                           current) != known.live.end();
  return on_ui_thread ? std::string() : std::string(" thread=other");
}

}  // namespace devkit
