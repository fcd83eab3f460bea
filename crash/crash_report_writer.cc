#include "crash/crash_report_writer.h"

#include <shlobj.h>

#include <atomic>
#include <cstring>

#include "crash/crash_diagnostics.h"
#include "crash/crash_directory.h"
#include "crash/format_bounded.h"
#include "crash/minidump_writer.h"
#include "crash/scoped_file.h"

namespace {

constexpr char kAppVersion[] = "2.0.6+0";
constexpr char kBuildConfig[] = "Release";

constexpr std::size_t kPathCapacity = MAX_PATH;
constexpr std::size_t kReportCapacity = 2048;

// A thread that lost the report waits while the writer makes progress, and gives up when one
// step (a minidump takes seconds on a busy machine, over ten under Wine) has gone on this long:
// the writer is then taken to be stuck, and a crashed process must not hang for good.
constexpr ULONGLONG kWriterStallMs = 20000;
constexpr DWORD kWriterPollMs = 10;

constexpr char kReportFormat[] =
    "timestamp=%04u-%02u-%02uT%02u:%02u:%02u\r\n"
    "reason=%s\r\n"
    "processId=%lu\r\n"
    "threadId=%lu\r\n"
    "exceptionCode=0x%08lX\r\n"
    "exceptionAddress=0x%p\r\n"
    "dumpPath=%ls\r\n"
    "appVersion=%s\r\n"
    "buildConfig=%s\r\n"
    "architecture=x64\r\n"
    "lastAudioOp=%ld\r\n"
    "lastSetEndpointHr=0x%08lX\r\n"
    "lastMciError=%ld\r\n"
    "audioOpCount=%ld\r\n";

// The report-once flag: 0 until the first fault is recorded, then 1 for good.
std::atomic<LONG> g_reportClaimed{0};
// Who claimed the flag, how many files it has finished, and whether it is done.
std::atomic<DWORD> g_writerThreadId{0};
std::atomic<LONG> g_writerProgress{0};
std::atomic<bool> g_reportFinished{false};

void MarkProgress() { g_writerProgress.fetch_add(1); }

HRESULT FormatDumpPath(wchar_t* buffer, const wchar_t* directory, const SYSTEMTIME& time,
                       DWORD processId) {
  return FormatBounded(
      buffer, kPathCapacity, L"%s\\tovan_native_crash_%04u%02u%02u_%02u%02u%02u_%lu.dmp", directory,
      unsigned{time.wYear}, unsigned{time.wMonth}, unsigned{time.wDay}, unsigned{time.wHour},
      unsigned{time.wMinute}, unsigned{time.wSecond}, static_cast<unsigned long>(processId));
}

// Formats the whole report before the file is opened, so that a report that cannot be formatted
// (a dump path the current code page cannot express) leaves the previous report in place rather
// than replacing it with an empty file.
void WriteReport(const wchar_t* reportPath, const wchar_t* dumpPath, const char* reason,
                 const SYSTEMTIME& time, const EXCEPTION_POINTERS* exception) {
  const long lastAudioOp = CrashDiagnostics::lastAudioOp.load(std::memory_order_relaxed);
  const unsigned long lastSetEndpointHr = static_cast<std::uint32_t>(
      CrashDiagnostics::lastSetEndpointHr.load(std::memory_order_relaxed));
  const long lastMciError = CrashDiagnostics::lastMciError.load(std::memory_order_relaxed);
  const long audioOpCount = CrashDiagnostics::audioOpCount.load(std::memory_order_relaxed);
  const EXCEPTION_RECORD* record = exception != nullptr ? exception->ExceptionRecord : nullptr;
  const unsigned long code = record != nullptr ? record->ExceptionCode : 0;
  const void* address = record != nullptr ? record->ExceptionAddress : nullptr;

  char text[kReportCapacity] = {};
  const HRESULT formatted = FormatBounded(
      text, sizeof(text), kReportFormat, unsigned{time.wYear}, unsigned{time.wMonth},
      unsigned{time.wDay}, unsigned{time.wHour}, unsigned{time.wMinute}, unsigned{time.wSecond},
      reason, static_cast<unsigned long>(GetCurrentProcessId()),
      static_cast<unsigned long>(GetCurrentThreadId()), code, address, dumpPath, kAppVersion,
      kBuildConfig, lastAudioOp, lastSetEndpointHr, lastMciError, audioOpCount);
  if (FAILED(formatted)) {
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

// The primary minidump and the report, in the crash directory.
void WriteToCrashDirectory(const char* reason, EXCEPTION_POINTERS* exception,
                           const SYSTEMTIME& time) {
  wchar_t directory[kPathCapacity] = {};
  if (!ResolveCrashDirectory(directory, kPathCapacity)) {
    return;
  }
  // The report names the dump path as formatted, even when the dump could not be written.
  wchar_t dumpPath[kPathCapacity] = {};
  if (SUCCEEDED(FormatDumpPath(dumpPath, directory, time, GetCurrentProcessId()))) {
    WriteMinidump(dumpPath, exception);
    MarkProgress();
  }
  wchar_t reportPath[kPathCapacity] = {};
  if (FAILED(FormatBounded(reportPath, kPathCapacity, L"%s\\last_native_crash.txt", directory))) {
    return;
  }
  WriteReport(reportPath, dumpPath, reason, time, exception);
  MarkProgress();
}

// The second minidump, in the temporary folder, whatever happened in the crash directory. The
// temporary path ends in a backslash, so the folder's path carries a doubled separator, which the
// file system accepts.
void WriteTemporaryCopy(EXCEPTION_POINTERS* exception, const SYSTEMTIME& time) {
  wchar_t tempPath[kPathCapacity] = {};
  const DWORD length = GetTempPathW(kPathCapacity, tempPath);
  if (length == 0 || length >= kPathCapacity) {
    return;
  }
  wchar_t folder[kPathCapacity] = {};
  FormatBounded(folder, kPathCapacity, L"%s\\tovan_crashes", tempPath);
  SHCreateDirectoryExW(nullptr, folder, nullptr);
  wchar_t dumpPath[kPathCapacity] = {};
  if (SUCCEEDED(FormatDumpPath(dumpPath, folder, time, GetCurrentProcessId()))) {
    WriteMinidump(dumpPath, exception);
  }
}

// A thread that lost the flag waits for the writer, so that its own handler's next step (ending
// the process) cannot cut the files short. The writer's own thread never waits: a fault inside
// the writer comes back here on that thread.
void WaitForWriter() {
  if (g_writerThreadId.load() == GetCurrentThreadId()) {
    return;
  }
  LONG progress = g_writerProgress.load();
  ULONGLONG lastProgressAt = GetTickCount64();
  while (!g_reportFinished.load() && GetTickCount64() - lastProgressAt < kWriterStallMs) {
    Sleep(kWriterPollMs);
    const LONG now = g_writerProgress.load();
    if (now != progress) {
      progress = now;
      lastProgressAt = GetTickCount64();
    }
  }
}

bool ClaimReport() {
  LONG unclaimed = 0;
  if (!g_reportClaimed.compare_exchange_strong(unclaimed, 1)) {
    return false;
  }
  g_writerThreadId.store(GetCurrentThreadId());
  return true;
}

void WriteClaimedReport(const char* reason, EXCEPTION_POINTERS* exception) {
  // One reading of the clock names every file and stamps the report.
  SYSTEMTIME time = {};
  GetLocalTime(&time);
  WriteToCrashDirectory(reason, exception, time);
  WriteTemporaryCopy(exception, time);
  g_reportFinished.store(true);
}

}  // namespace

void WriteCrashReport(const char* reason, EXCEPTION_POINTERS* exception) {
  if (!ClaimReport()) {
    WaitForWriter();
    return;
  }
  WriteClaimedReport(reason, exception);
}

void WriteCrashReportUnlessBusy(const char* reason, EXCEPTION_POINTERS* exception) {
  if (ClaimReport()) {
    WriteClaimedReport(reason, exception);
  }
}
