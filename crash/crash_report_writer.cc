#include "crash/crash_report_writer.h"

#include <shlobj.h>

#include <atomic>
#include <cstring>

#include "crash/crash_diagnostics.h"
#include "crash/crash_directory.h"
#include "crash/crash_thread.h"
#include "crash/format_bounded.h"
#include "crash/minidump_writer.h"
#include "crash/scoped_file.h"
#include "crash/writer_progress.h"

// The faulting thread may have almost no stack left (a stack overflow), so the functions it runs
// itself keep small frames; the fixed buffers live in the writing functions, which must not be
// folded into them.
#if defined(_MSC_VER)
#define TOVAN_NOINLINE __declspec(noinline)
#else
#define TOVAN_NOINLINE __attribute__((noinline))
#endif

namespace {

constexpr char kAppVersion[] = TOVAN_VERSION_TEXT;  // from VERSION, defined by crash/CMakeLists.txt
constexpr char kBuildConfig[] = "Release";

constexpr std::size_t kPathCapacity = MAX_PATH;
constexpr std::size_t kReportCapacity = 2048;
// A path of MAX_PATH UTF-16 units takes at most three bytes per unit in UTF-8.
constexpr std::size_t kUtf8PathCapacity = 3 * MAX_PATH + 1;

// A step of the writing (a minidump, the report) may go this long without progress. One 0x1065
// dump of this process took 1 to 2.5 s under Wine on an idle 2-core machine, and about 9 s for a
// 3.5 MB dump with three faulting processes at once and builds running beside them (load average
// 4). A dump that keeps growing is progress however long it takes; 30 s without a byte leaves
// room for a slow disk, while a writer that hangs (the minidump writer, an unreachable network
// folder) still lets a dying process end within half a minute of its last progress.
constexpr DWORD kDefaultWriterStallMs = 30000;
constexpr DWORD kWriterPollMs = 10;

constexpr DWORD kStackOverflowCode = 0xC00000FD;

// Every line of the report. The dump path is UTF-8, whatever the process's code page, so a
// reader always knows how to decode it; an ASCII path gives the same bytes in any encoding.
constexpr char kReportFormat[] =
    "timestamp=%04u-%02u-%02uT%02u:%02u:%02u\r\n"
    "reason=%s\r\n"
    "processId=%lu\r\n"
    "threadId=%lu\r\n"
    "exceptionCode=0x%08lX\r\n"
    "exceptionAddress=0x%p\r\n"
    "dumpPath=%s\r\n"
    "appVersion=%s\r\n"
    "buildConfig=%s\r\n"
    "architecture=x64\r\n"
    "lastAudioOp=%ld\r\n"
    "lastSetEndpointHr=0x%08lX\r\n"
    "lastMciError=%ld\r\n"
    "audioOpCount=%ld\r\n";

// What the writer records: filled in once, by the thread that claims the report, before any
// file is written. The exception record and context are copies, so that neither the writing nor
// an ending through the platform depends on the faulting thread's stack staying as it was.
struct CrashEvent {
  const char* reason;
  bool hasException;
  bool mayBeCaught;
  DWORD threadId;
  SYSTEMTIME time;
};
CrashEvent g_event;
EXCEPTION_RECORD g_record;
CONTEXT g_context;
EXCEPTION_POINTERS g_pointers = {&g_record, &g_context};

// The report-once flag: 0 until the first fault is recorded, then 1 for good.
std::atomic<LONG> g_reportClaimed{0};
// The thread that writes the files, and whether it is done.
std::atomic<DWORD> g_writingThreadId{0};
std::atomic<bool> g_reportFinished{false};
std::atomic<DWORD> g_writerStallMs{kDefaultWriterStallMs};

HRESULT FormatDumpPath(wchar_t* buffer, const wchar_t* directory, const SYSTEMTIME& time,
                       DWORD processId) {
  return FormatBounded(
      buffer, kPathCapacity, L"%s\\tovan_native_crash_%04u%02u%02u_%02u%02u%02u_%lu.dmp", directory,
      unsigned{time.wYear}, unsigned{time.wMonth}, unsigned{time.wDay}, unsigned{time.wHour},
      unsigned{time.wMinute}, unsigned{time.wSecond}, static_cast<unsigned long>(processId));
}

HRESULT FormatReport(char (&text)[kReportCapacity], const char* dumpPath, const CrashEvent& event) {
  const long lastAudioOp = CrashDiagnostics::lastAudioOp.load(std::memory_order_relaxed);
  const unsigned long lastSetEndpointHr = static_cast<std::uint32_t>(
      CrashDiagnostics::lastSetEndpointHr.load(std::memory_order_relaxed));
  const long lastMciError = CrashDiagnostics::lastMciError.load(std::memory_order_relaxed);
  const long audioOpCount = CrashDiagnostics::audioOpCount.load(std::memory_order_relaxed);
  const unsigned long code = event.hasException ? g_record.ExceptionCode : 0;
  const void* address = event.hasException ? g_record.ExceptionAddress : nullptr;
  const SYSTEMTIME& time = event.time;
  return FormatBounded(
      text, kReportCapacity, kReportFormat, unsigned{time.wYear}, unsigned{time.wMonth},
      unsigned{time.wDay}, unsigned{time.wHour}, unsigned{time.wMinute}, unsigned{time.wSecond},
      event.reason, static_cast<unsigned long>(GetCurrentProcessId()),
      static_cast<unsigned long>(event.threadId), code, address, dumpPath, kAppVersion,
      kBuildConfig, lastAudioOp, lastSetEndpointHr, lastMciError, audioOpCount);
}

// Formats the whole report before the file is opened, so that a report that cannot be formatted
// (longer than its buffer) leaves the previous report in place rather than an empty file.
void WriteReport(const wchar_t* reportPath, const wchar_t* dumpPath, const CrashEvent& event) {
  char utf8Path[kUtf8PathCapacity] = {};
  char text[kReportCapacity] = {};
  if (WideCharToMultiByte(CP_UTF8, 0, dumpPath, -1, utf8Path, sizeof(utf8Path), nullptr, nullptr) ==
          0 ||
      FAILED(FormatReport(text, utf8Path, event))) {
    return;
  }
  ScopedFile file = CreateFileForWriting(reportPath);
  if (!file.IsValid()) {
    return;
  }
  DWORD written = 0;
  WriteFile(file.Get(), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
  FlushFileBuffers(file.Get());
}

EXCEPTION_POINTERS* ExceptionOf(const CrashEvent& event) {
  return event.hasException ? &g_pointers : nullptr;
}

// The thread to leave out of the dumps: the crash thread, when it watches another thread write.
DWORD WatcherThreadId() {
  const DWORD crashThread = CrashThreadId();
  return crashThread != GetCurrentThreadId() ? crashThread : 0;
}

// The report, then the primary minidump, in the crash directory. The report comes first: it is
// the smallest file and the one read first, and a dump in the crash directory is then never
// beside an older crash's report, however the writing of the dump ends.
void WriteToCrashDirectory(const CrashEvent& event) {
  wchar_t directory[kPathCapacity] = {};
  const bool resolved = ResolveCrashDirectory(directory, kPathCapacity);
  MarkWriterStep();
  if (!resolved) {
    return;
  }
  // The report names the dump path as formatted, even when the dump could not be written.
  wchar_t dumpPath[kPathCapacity] = {};
  const bool dumpNamed =
      SUCCEEDED(FormatDumpPath(dumpPath, directory, event.time, GetCurrentProcessId()));
  wchar_t reportPath[kPathCapacity] = {};
  if (SUCCEEDED(
          FormatBounded(reportPath, kPathCapacity, L"%s\\last_native_crash.txt", directory))) {
    WriteReport(reportPath, dumpPath, event);
    MarkWriterStep();
  }
  if (dumpNamed) {
    WriteMinidump(dumpPath, ExceptionOf(event), event.threadId, WatcherThreadId());
    MarkWriterStep();
  }
}

// The second minidump, in the temporary folder, whatever happens in the crash directory. The
// temporary path ends in a backslash, so the folder's path carries a doubled separator, which the
// file system accepts.
void WriteTemporaryCopy(const CrashEvent& event) {
  wchar_t tempPath[kPathCapacity] = {};
  const DWORD length = GetTempPathW(kPathCapacity, tempPath);
  if (length == 0 || length >= kPathCapacity) {
    return;
  }
  wchar_t folder[kPathCapacity] = {};
  FormatBounded(folder, kPathCapacity, L"%s\\tovan_crashes", tempPath);
  SHCreateDirectoryExW(nullptr, folder, nullptr);
  MarkWriterStep();
  wchar_t dumpPath[kPathCapacity] = {};
  if (SUCCEEDED(FormatDumpPath(dumpPath, folder, event.time, GetCurrentProcessId()))) {
    WriteMinidump(dumpPath, ExceptionOf(event), event.threadId, WatcherThreadId());
  }
  MarkWriterStep();
}

// Writes every file of the claimed report. The local temporary copy comes first: it is the one
// file that a slow or unreachable profile folder (a roaming profile on a network share) cannot
// hold up, so a writing that stalls there still leaves a dump behind.
TOVAN_NOINLINE void WriteCrashFiles() {
  WriteTemporaryCopy(g_event);
  WriteToCrashDirectory(g_event);
  g_reportFinished.store(true);
}

// Waits while the writer makes progress. True once the files are written, false when one step
// has stalled.
bool WaitForWriter() {
  WriterProgress progress = ReadWriterProgress();
  ULONGLONG lastProgressAt = GetTickCount64();
  while (!g_reportFinished.load()) {
    if (GetTickCount64() - lastProgressAt >= g_writerStallMs.load()) {
      return false;
    }
    Sleep(kWriterPollMs);
    const WriterProgress now = ReadWriterProgress();
    if (now != progress) {
      progress = now;
      lastProgressAt = GetTickCount64();
    }
  }
  return true;
}

// Ends the process through the platform's error reporting, which then sees the fault with its
// own record and context (a fault without a record, such as a signal, goes as a fail-fast of its
// own). Used where our files could not describe the fault.
[[noreturn]] void EndThroughPlatform(EXCEPTION_RECORD* record, CONTEXT* context) {
  RaiseFailFastException(record, context, 0);
  // Not reached: the call does not return. A backstop for a platform where it would.
  TerminateProcess(GetCurrentProcess(), record != nullptr ? record->ExceptionCode : 0);
  for (;;) {
    Sleep(INFINITE);
  }
}

[[noreturn]] void EndThroughPlatform(EXCEPTION_POINTERS* exception) {
  if (exception == nullptr) {
    EndThroughPlatform(nullptr, nullptr);
  }
  EndThroughPlatform(exception->ExceptionRecord, exception->ContextRecord);
}

// The crash thread's job while another thread writes: watch, and end a dying process whose
// writer has stalled. A thread whose exception programs survive as a matter of course is left to
// go on; the files may still come once whatever held the writer up lets go.
void WatchWriter() {
  if (!WaitForWriter() && !g_event.mayBeCaught) {
    EndThroughPlatform(g_event.hasException ? &g_record : nullptr, &g_context);
  }
}

bool ClaimReport() {
  LONG unclaimed = 0;
  return g_reportClaimed.compare_exchange_strong(unclaimed, 1);
}

// Records the event in static storage: the report's facts, the exception record and context
// (or, without a record, the current context, for an ending through the platform).
void RecordEvent(const char* reason, EXCEPTION_POINTERS* exception, bool mayBeCaught) {
  g_event.reason = reason;
  g_event.hasException = exception != nullptr && exception->ExceptionRecord != nullptr;
  g_event.mayBeCaught = mayBeCaught;
  g_event.threadId = GetCurrentThreadId();
  if (g_event.hasException) {
    g_record = *exception->ExceptionRecord;
  }
  if (exception != nullptr && exception->ContextRecord != nullptr) {
    g_context = *exception->ContextRecord;
  } else {
    RtlCaptureContext(&g_context);
  }
  // One reading of the clock names every file and stamps the report.
  GetLocalTime(&g_event.time);
}

// Writes the files on this thread, with the crash thread watching when it runs.
void WriteHere() {
  g_writingThreadId.store(GetCurrentThreadId());
  PostToCrashThread(WatchWriter);
  WriteCrashFiles();
}

// A later call while another thread writes: waits for the files, or ends the process through
// the platform, with this call's own fault, when the writer has stalled. The writing thread
// itself (a fault inside the writer) returns at once.
void WaitForFilesOrEnd(EXCEPTION_POINTERS* exception) {
  if (g_writingThreadId.load() == GetCurrentThreadId()) {
    return;
  }
  if (!WaitForWriter()) {
    EndThroughPlatform(exception);
  }
}

}  // namespace

void WriteCrashReport(const char* reason, EXCEPTION_POINTERS* exception) {
  if (ClaimReport()) {
    RecordEvent(reason, exception, false);
    WriteHere();
    return;
  }
  WaitForFilesOrEnd(exception);
}

void WriteCrashReportUnlessBusy(const char* reason, EXCEPTION_POINTERS* exception,
                                bool mayBeCaught) {
  if (ClaimReport()) {
    RecordEvent(reason, exception, mayBeCaught);
    WriteHere();
  }
}

void RecordStackOverflow(EXCEPTION_POINTERS* exception) {
  if (!ClaimReport()) {
    // Another fault has the report: let its files be finished, then hand this one, which no file
    // of ours describes, to the platform.
    WaitForFilesOrEnd(exception);
    EndThroughPlatform(exception);
  }
  RecordEvent("vectored_exception", exception, false);
  // Set before the job is posted, so that a fault inside the writer finds itself the writer.
  g_writingThreadId.store(CrashThreadId());
  if (!PostToCrashThread(WriteCrashFiles)) {
    // No crash thread (any more): try on what stack is left.
    g_writingThreadId.store(GetCurrentThreadId());
    WriteCrashFiles();
  } else if (!WaitForWriter()) {
    EndThroughPlatform(&g_record, &g_context);
  }
  TerminateProcess(GetCurrentProcess(), kStackOverflowCode);
  for (;;) {
    Sleep(INFINITE);
  }
}

void SetWriterStallLimitForTesting(DWORD milliseconds) {
  g_writerStallMs.store(milliseconds != 0 ? milliseconds : kDefaultWriterStallMs);
}
