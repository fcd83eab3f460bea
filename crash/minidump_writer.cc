#include "crash/minidump_writer.h"

#include <atomic>

#include "crash/scoped_file.h"

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

void WriteMinidump(const wchar_t* path, EXCEPTION_POINTERS* exception) {
  ScopedFile file = CreateFileForWriting(path);
  if (!file.IsValid()) {
    return;
  }
  MINIDUMP_EXCEPTION_INFORMATION info = {};
  if (exception != nullptr) {
    info.ThreadId = GetCurrentThreadId();
    info.ExceptionPointers = exception;
    info.ClientPointers = FALSE;
  }
  const BOOL written =
      g_writer.load()(GetCurrentProcess(), GetCurrentProcessId(), file.Get(), kDumpType,
                      exception != nullptr ? &info : nullptr, nullptr, nullptr);
  FlushFileBuffers(file.Get());
  file.Close();
  if (!written) {
    DeleteFileW(path);
  }
}
