#include "crash/minidump_writer.h"

#include <atomic>

#include "crash/format_bounded.h"
#include "crash/scoped_file.h"
#include "crash/triage_stream.h"
#include "crash/writer_progress.h"

namespace {

constexpr MINIDUMP_TYPE kDumpType = static_cast<MINIDUMP_TYPE>(
    MiniDumpWithDataSegs | MiniDumpWithHandleData | MiniDumpWithUnloadedModules |
    MiniDumpWithIndirectlyReferencedMemory | MiniDumpWithThreadInfo);
static_assert(kDumpType == 0x1065);

std::atomic<MiniDumpWriter> g_writer{MiniDumpWriteDump};

// Leaves the watching thread (its id is the parameter) out of the dump.
//
// Windows' minidump writer suspends the process's other threads while it reads them (Wine's
// resumes each one at once). A watcher suspended with them could not see the writer stall, and a
// writer that hangs would then hang the process for good. What the platform guarantees is only
// that a thread refused by the include-thread callback (and by the thread callback) is not in
// the dump; that it is then also not suspended is how the writer behaves where it gathers only
// the threads it includes, not a promise. The remaining risk: a writer that suspends every thread
// regardless and then hangs is watched by nobody, as if there were no watcher at all.
BOOL CALLBACK LeaveOutWatcher(PVOID param, const PMINIDUMP_CALLBACK_INPUT input,
                              PMINIDUMP_CALLBACK_OUTPUT output) {
  const DWORD watcher = *static_cast<const DWORD*>(param);
  switch (input->CallbackType) {
    case IncludeThreadCallback:
      return input->IncludeThread.ThreadId != watcher;
    case ThreadCallback:
    case ThreadExCallback: {
      const ULONG thread =
          input->CallbackType == ThreadCallback ? input->Thread.ThreadId : input->ThreadEx.ThreadId;
      if (thread == watcher) {
        output->ThreadWriteFlags = 0;
        return FALSE;
      }
      return TRUE;
    }
    case IncludeModuleCallback:
    case ModuleCallback:
      return TRUE;
    default:
      // Adds no memory ranges (MemoryCallback), cancels nothing (CancelCallback): what the writer
      // does without a callback.
      return FALSE;
  }
}

// The one call of the system's writer.
BOOL WriteDump(HANDLE file, EXCEPTION_POINTERS* exception, DWORD threadId, DWORD watcherThreadId) {
  MINIDUMP_EXCEPTION_INFORMATION info = {};
  if (exception != nullptr) {
    info.ThreadId = threadId;
    info.ExceptionPointers = exception;
    info.ClientPointers = FALSE;
  }
  // Some writers (Wine's) load every module's debug information while they write, which can take
  // long enough, or fail badly enough, to cost the dump; the dump needs none of it.
  SymSetOptions(SymGetOptions() | SYMOPT_DEFERRED_LOADS);
  TriageStream triage(exception, threadId);
  MINIDUMP_CALLBACK_INFORMATION callback = {LeaveOutWatcher, &watcherThreadId};
  return g_writer.load()(GetCurrentProcess(), GetCurrentProcessId(), file, kDumpType,
                         exception != nullptr ? &info : nullptr, triage.Get(),
                         watcherThreadId != 0 ? &callback : nullptr);
}

}  // namespace

void SetMiniDumpWriterForTesting(MiniDumpWriter writer) {
  g_writer.store(writer != nullptr ? writer : MiniDumpWriteDump);
}

void WriteMinidump(const wchar_t* path, EXCEPTION_POINTERS* exception, DWORD threadId,
                   DWORD watcherThreadId) {
  wchar_t partialPath[MAX_PATH] = {};
  if (FAILED(FormatBounded(partialPath, MAX_PATH, L"%s.partial", path))) {
    return;
  }
  ScopedFile file = CreateFileForWriting(partialPath);
  if (!file.IsValid()) {
    return;
  }
  SetGrowingFile(file.Get());
  const BOOL written = WriteDump(file.Get(), exception, threadId, watcherThreadId);
  FlushFileBuffers(file.Get());
  SetGrowingFile(nullptr);
  file.Close();
  if (!written) {
    DeleteFileW(partialPath);
    return;
  }
  MoveFileExW(partialPath, path, MOVEFILE_REPLACE_EXISTING);
}
