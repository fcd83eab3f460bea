#include "crash/minidump_writer.h"

#include <atomic>

#include "crash/scoped_file.h"
#include "crash/triage_stream.h"

namespace {

constexpr MINIDUMP_TYPE kDumpType = static_cast<MINIDUMP_TYPE>(
    MiniDumpWithDataSegs | MiniDumpWithHandleData | MiniDumpWithUnloadedModules |
    MiniDumpWithIndirectlyReferencedMemory | MiniDumpWithThreadInfo);
static_assert(kDumpType == 0x1065);

std::atomic<MiniDumpWriter> g_writer{MiniDumpWriteDump};

}  // namespace

void SetMiniDumpWriterForTesting(MiniDumpWriter writer) {
  g_writer.store(writer != nullptr ? writer : MiniDumpWriteDump);
}

namespace {

// Marks the open file for deletion when its last handle closes, or lifts the mark. The system
// keeps the mark even when the process ends without closing the handle itself.
bool SetDeleteOnClose(HANDLE file, bool remove) {
  // Its one member is named DeleteFile, which windows.h defines as a macro.
  FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(remove ? TRUE : FALSE)};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition)) !=
         FALSE;
}

}  // namespace

void WriteMinidump(const wchar_t* path, EXCEPTION_POINTERS* exception, DWORD threadId) {
  ScopedFile file = CreateFileForWriting(path, DELETE);
  if (!file.IsValid()) {
    return;
  }
  // Where the mark cannot be set (a file system without it), a dump that is never finished may
  // stay behind, as it would without the mark; the dump itself is still worth writing.
  const bool marked = SetDeleteOnClose(file.Get(), true);
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
  const BOOL written =
      g_writer.load()(GetCurrentProcess(), GetCurrentProcessId(), file.Get(), kDumpType,
                      exception != nullptr ? &info : nullptr, triage.Get(), nullptr);
  FlushFileBuffers(file.Get());
  if (written && marked) {
    SetDeleteOnClose(file.Get(), false);
  }
  file.Close();
  if (!written && !marked) {
    DeleteFileW(path);
  }
}
