#include "crash/writer_progress.h"

#include <atomic>

namespace {

std::atomic<LONG> g_steps{0};
std::atomic<HANDLE> g_growingFile{nullptr};
// Watchers reading the growing file's size right now. The writer clears the handle, then waits
// for this to reach 0 before it closes the file: a size query never meets a closed (or reused)
// handle. Sequentially consistent operations on both make that hold.
std::atomic<int> g_sizeReaders{0};

}  // namespace

void MarkWriterStep() { g_steps.fetch_add(1); }

void SetGrowingFile(HANDLE file) {
  g_growingFile.store(file);
  if (file == nullptr) {
    while (g_sizeReaders.load() != 0) {
      Sleep(0);
    }
  }
}

WriterProgress ReadWriterProgress() {
  WriterProgress progress;
  progress.steps = g_steps.load();
  g_sizeReaders.fetch_add(1);
  const HANDLE file = g_growingFile.load();
  LARGE_INTEGER size = {};
  if (file != nullptr && GetFileSizeEx(file, &size)) {
    progress.dumpBytes = size.QuadPart;
  }
  g_sizeReaders.fetch_sub(1);
  return progress;
}
