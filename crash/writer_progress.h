#pragma once

#include <windows.h>

// How far the writing of the crash files has got, for the threads that wait for it: a count of
// finished steps and the size of the dump file being written, so that a large dump that keeps
// growing counts as progress. Every call is safe on any thread in any state: atomics and one
// handle-based size query, no allocation, no lock.
struct WriterProgress {
  LONG steps = 0;
  LONGLONG dumpBytes = 0;

  bool operator!=(const WriterProgress& other) const {
    return steps != other.steps || dumpBytes != other.dumpBytes;
  }
};

// The writer: one step is finished.
void MarkWriterStep();

// The writer: `file` is the dump being written, whose growth counts as progress; nullptr when it
// is done. Clearing waits until no watcher is reading the old handle, so the caller may close it
// right after.
void SetGrowingFile(HANDLE file);

// A watcher: the progress so far.
WriterProgress ReadWriterProgress();
