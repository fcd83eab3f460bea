#include "crash/crash_report_writer.h"

#include <shlobj.h>

#include <atomic>
#include <cstring>

#include "crash/crash_diagnostics.h"
#include "crash/crash_directory.h"
#include "crash/crash_writer_thread.h"
#include "crash/format_bounded.h"
#include "crash/minidump_writer.h"
#include "crash/scoped_file.h"

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

// Waiting threads give up when one step of the writing (resolving the directory, a minidump, the
// report) has gone on this long. One 0x1065 dump of this process took 1 to 2.5 s under Wine on an
// idle 2-core machine, and about 9 s for a 3.5 MB dump with three faulting processes at once and
// builds running beside them (load average 4). 30 s leaves room for a slow disk, while a writer
// that hangs (the minidump writer, an unreachable network folder) still lets a dying process end
// within half a minute of its last progress.
constexpr DWORD kDefaultWriterStallMs = 30000;
constexpr DWORD kWriterPollMs = 10;

#define TOVAN_REPORT_HEAD                       \
  "timestamp=%04u-%02u-%02uT%02u:%02u:%02u\r\n" \
  "reason=%s\r\n"                               \
  "processId=%lu\r\n"                           \
  "threadId=%lu\r\n"                            \
  "exceptionCode=0x%08lX\r\n"                   \
  "exceptionAddress=0x%p\r\n"
#define TOVAN_REPORT_TAIL         \
  "appVersion=%s\r\n"             \
  "buildConfig=%s\r\n"            \
  "architecture=x64\r\n"          \
  "lastAudioOp=%ld\r\n"           \
  "lastSetEndpointHr=0x%08lX\r\n" \
  "lastMciError=%ld\r\n"          \
  "audioOpCount=%ld\r\n"
// The dump path as the runtime's %ls converts it, in the process's 8-bit code page: what every
// report has carried. When that code page cannot express the path (a profile named in another
// script, a character outside the BMP), the path is given as UTF-8 instead.
constexpr char kReportFormat[] = TOVAN_REPORT_HEAD "dumpPath=%ls\r\n" TOVAN_REPORT_TAIL;
constexpr char kReportFormatUtf8Path[] = TOVAN_REPORT_HEAD "dumpPath=%s\r\n" TOVAN_REPORT_TAIL;
#undef TOVAN_REPORT_HEAD
#undef TOVAN_REPORT_TAIL

// What the writer records: filled in once, by the thread that claims the report, before the
// files are written on the writer thread or on that same thread.
struct CrashEvent {
  const char* reason;
  EXCEPTION_POINTERS* exception;
  DWORD threadId;
  SYSTEMTIME time;
};
CrashEvent g_event;

// The report-once flag: 0 until the first fault is recorded, then 1 for good.
std::atomic<LONG> g_reportClaimed{0};
// The thread that writes the files, how many steps it has finished, and whether it is done.
std::atomic<DWORD> g_writerThreadId{0};
std::atomic<LONG> g_writerProgress{0};
std::atomic<bool> g_reportFinished{false};
std::atomic<DWORD> g_writerStallMs{kDefaultWriterStallMs};

void MarkProgress() { g_writerProgress.fetch_add(1); }

HRESULT FormatDumpPath(wchar_t* buffer, const wchar_t* directory, const SYSTEMTIME& time,
                       DWORD processId) {
  return FormatBounded(
      buffer, kPathCapacity, L"%s\\tovan_native_crash_%04u%02u%02u_%02u%02u%02u_%lu.dmp", directory,
      unsigned{time.wYear}, unsigned{time.wMonth}, unsigned{time.wDay}, unsigned{time.wHour},
      unsigned{time.wMinute}, unsigned{time.wSecond}, static_cast<unsigned long>(processId));
}

template <typename PathChar>
HRESULT FormatReport(char (&text)[kReportCapacity], const char* format, const PathChar* dumpPath,
                     const CrashEvent& event) {
  const long lastAudioOp = CrashDiagnostics::lastAudioOp.load(std::memory_order_relaxed);
  const unsigned long lastSetEndpointHr = static_cast<std::uint32_t>(
      CrashDiagnostics::lastSetEndpointHr.load(std::memory_order_relaxed));
  const long lastMciError = CrashDiagnostics::lastMciError.load(std::memory_order_relaxed);
  const long audioOpCount = CrashDiagnostics::audioOpCount.load(std::memory_order_relaxed);
  const EXCEPTION_RECORD* record =
      event.exception != nullptr ? event.exception->ExceptionRecord : nullptr;
  const unsigned long code = record != nullptr ? record->ExceptionCode : 0;
  const void* address = record != nullptr ? record->ExceptionAddress : nullptr;
  const SYSTEMTIME& time = event.time;
  return FormatBounded(
      text, kReportCapacity, format, unsigned{time.wYear}, unsigned{time.wMonth},
      unsigned{time.wDay}, unsigned{time.wHour}, unsigned{time.wMinute}, unsigned{time.wSecond},
      event.reason, static_cast<unsigned long>(GetCurrentProcessId()),
      static_cast<unsigned long>(event.threadId), code, address, dumpPath, kAppVersion,
      kBuildConfig, lastAudioOp, lastSetEndpointHr, lastMciError, audioOpCount);
}

// Formats the whole report before the file is opened, so that a report that cannot be formatted
// (longer than its buffer) leaves the previous report in place rather than an empty file.
void WriteReport(const wchar_t* reportPath, const wchar_t* dumpPath, const CrashEvent& event) {
  char text[kReportCapacity] = {};
  if (FAILED(FormatReport(text, kReportFormat, dumpPath, event))) {
    char utf8Path[kUtf8PathCapacity] = {};
    if (WideCharToMultiByte(CP_UTF8, 0, dumpPath, -1, utf8Path, sizeof(utf8Path), nullptr,
                            nullptr) == 0 ||
        FAILED(FormatReport(text, kReportFormatUtf8Path, utf8Path, event))) {
      return;
    }
  }
  ScopedFile file = CreateFileForWriting(reportPath);
  if (!file.IsValid()) {
    return;
  }
  DWORD written = 0;
  WriteFile(file.Get(), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
  FlushFileBuffers(file.Get());
}

// The primary minidump and the report, in the crash directory.
void WriteToCrashDirectory(const CrashEvent& event) {
  wchar_t directory[kPathCapacity] = {};
  const bool resolved = ResolveCrashDirectory(directory, kPathCapacity);
  MarkProgress();
  if (!resolved) {
    return;
  }
  // The report names the dump path as formatted, even when the dump could not be written.
  wchar_t dumpPath[kPathCapacity] = {};
  if (SUCCEEDED(FormatDumpPath(dumpPath, directory, event.time, GetCurrentProcessId()))) {
    WriteMinidump(dumpPath, event.exception, event.threadId);
    MarkProgress();
  }
  wchar_t reportPath[kPathCapacity] = {};
  if (FAILED(FormatBounded(reportPath, kPathCapacity, L"%s\\last_native_crash.txt", directory))) {
    return;
  }
  WriteReport(reportPath, dumpPath, event);
  MarkProgress();
}

// The second minidump, in the temporary folder, whatever happened in the crash directory. The
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
  MarkProgress();
  wchar_t dumpPath[kPathCapacity] = {};
  if (SUCCEEDED(FormatDumpPath(dumpPath, folder, event.time, GetCurrentProcessId()))) {
    WriteMinidump(dumpPath, event.exception, event.threadId);
  }
}

// Writes every file of the claimed report; runs on the writer thread, or on the faulting thread
// when there is none.
TOVAN_NOINLINE void WriteCrashFiles() {
  WriteToCrashDirectory(g_event);
  WriteTemporaryCopy(g_event);
  g_reportFinished.store(true);
}

// Waits while the writer makes progress. True once the files are written, false when one step
// has stalled. The writing thread itself never waits: a fault inside the writer comes back here
// on that thread.
bool WaitForWriter() {
  if (g_writerThreadId.load() == GetCurrentThreadId()) {
    return true;
  }
  LONG progress = g_writerProgress.load();
  ULONGLONG lastProgressAt = GetTickCount64();
  while (!g_reportFinished.load()) {
    if (GetTickCount64() - lastProgressAt >= g_writerStallMs.load()) {
      return false;
    }
    Sleep(kWriterPollMs);
    const LONG now = g_writerProgress.load();
    if (now != progress) {
      progress = now;
      lastProgressAt = GetTickCount64();
    }
  }
  return true;
}

bool ClaimReport() {
  LONG unclaimed = 0;
  return g_reportClaimed.compare_exchange_strong(unclaimed, 1);
}

// Records the event and has the files written: handed to the writer thread when it runs, which
// leaves the faulting thread's little remaining stack alone.
void StartWriting(const char* reason, EXCEPTION_POINTERS* exception) {
  g_event.reason = reason;
  g_event.exception = exception;
  g_event.threadId = GetCurrentThreadId();
  // One reading of the clock names every file and stamps the report.
  GetLocalTime(&g_event.time);
  // Set before the job is posted, so that a fault inside the writer finds itself the writer.
  // PostToCrashWriterThread refuses when no writer thread runs (its id is then 0).
  g_writerThreadId.store(CrashWriterThreadId());
  if (PostToCrashWriterThread(WriteCrashFiles)) {
    return;
  }
  g_writerThreadId.store(GetCurrentThreadId());
  WriteCrashFiles();
}

// Waits for the files, or ends the process when the writer has stalled: a dying process must not
// hang for good, and a thread whose exception may still be caught cannot go on either, since the
// writer is still reading its stack.
void WaitForWriterOrEnd(UINT exitCodeIfStalled) {
  if (!WaitForWriter()) {
    TerminateProcess(GetCurrentProcess(), exitCodeIfStalled);
  }
}

}  // namespace

void WriteCrashReport(const char* reason, EXCEPTION_POINTERS* exception, UINT exitCodeIfStalled) {
  if (ClaimReport()) {
    StartWriting(reason, exception);
  }
  WaitForWriterOrEnd(exitCodeIfStalled);
}

void WriteCrashReportUnlessBusy(const char* reason, EXCEPTION_POINTERS* exception,
                                UINT exitCodeIfStalled) {
  if (ClaimReport()) {
    StartWriting(reason, exception);
    WaitForWriterOrEnd(exitCodeIfStalled);
  }
}

void SetWriterStallLimitForTesting(DWORD milliseconds) {
  g_writerStallMs.store(milliseconds != 0 ? milliseconds : kDefaultWriterStallMs);
}
