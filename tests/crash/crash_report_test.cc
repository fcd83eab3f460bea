// Runs the fault probe in child processes, each with folders of its own, and checks what the
// crash capture left behind: exit codes, minidump names and contents, and the report's lines.
// Probes run a few at a time before any check: under Wine each minidump takes seconds.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/crash/minidump_reader.h"
#include "tests/crash/probe_run.h"
#include "tovan_product_info.h"

namespace fs = std::filesystem;

namespace {

constexpr DWORD kProbeTimeoutMs = 240000;
constexpr std::size_t kProbesAtOnce = 3;
constexpr DWORD kSegmentationExit = 139;
constexpr DWORD kAbortExit = 150;
constexpr DWORD kRuntimeHandlerExit = 3;
constexpr DWORD kAccessViolation = 0xC0000005;
constexpr DWORD kStackOverflow = 0xC00000FD;
// How a process ends through RaiseFailFastException under Wine (STATUS_FAIL_FAST_EXCEPTION);
// Windows hands the fault to its error reporting, which ends the process.
constexpr DWORD kFailFast = 0xC0000602;
// The code GCC raises a throw under; an MSVC build would record 0xE06D7363.
constexpr DWORD kGccThrow = 0x20474343;

enum class FaultThread { kMain, kOther };

const wchar_t kOtherScriptsCase[] = L"av_\u0141_\u5F20\u4F1F_\U0001F4DE";
const std::string kPreviousReport = "reason=previous\r\n";

// A fault that the crash capture records: how to cause it and what must be left behind.
struct RecordedCase {
  const wchar_t* name;
  std::vector<std::wstring> actions;
  long cells[4];  // lastAudioOp, lastSetEndpointHr, lastMciError, audioOpCount
  DWORD exitCode;
  const char* reason;
  DWORD exceptionCode;
  bool hasExceptionRecord;
  FaultThread thread;
  // Started after the others, on a quieter machine: its timing matters.
  bool runAlone = false;
  // The roaming candidate is too long for the dump's name: the local one is chosen.
  bool localCrashDir = false;
};

// A case name that makes the probe's roaming folder 180 characters long, where the crash
// directory alone fits in MAX_PATH but the dump's path would not.
const std::wstring& LongProfileCase() {
  static const std::wstring name = [] {
    const std::size_t fixed = (CasesRoot() / L"profile\\AppData\\Roaming").wstring().size() + 1;
    return L"long_" + std::wstring(180 - fixed - 5, L'p');
  }();
  return name;
}

const std::vector<RecordedCase>& RecordedCases() {
  static const std::vector<RecordedCase> cases = {
      {L"av_main",
       {L"av"},
       {1, static_cast<long>(0x80070005), 0, 7},
       kSegmentationExit,
       "vectored_exception",
       kAccessViolation,
       true,
       FaultThread::kMain},
      // Every report is UTF-8, whatever the code page could have expressed. The crash thread has
      // gone, as during the process's exit: the faulting thread writes without waiting for it.
      {L"av_thread_\u00E9",
       {L"end-crash-thread", L"av-thread"},
       {5, 0, 0, 3},
       kAccessViolation,
       "vectored_exception",
       kAccessViolation,
       true,
       FaultThread::kOther},
      {L"abort", {L"abort"}, {0, 0, 0, 0}, kAbortExit, "sigabrt", 0, false, FaultThread::kMain},
      // A profile named in Polish and Chinese, with a character outside the BMP; the report
      // replaces an earlier process's report (see SetUpTestSuite).
      {kOtherScriptsCase,
       {L"av"},
       {5, 0, 0, 1},
       kSegmentationExit,
       "vectored_exception",
       kAccessViolation,
       true,
       FaultThread::kMain},
      // An overflow leaves the faulting thread almost no stack; the files are written for it and
      // the process ends with the overflow's code, on any thread.
      {L"stack_overflow_main",
       {L"stack-overflow"},
       {1, 0, 0, 1},
       kStackOverflow,
       "vectored_exception",
       kStackOverflow,
       true,
       FaultThread::kMain},
      {L"stack_overflow_thread",
       {L"stack-overflow-thread"},
       {2, 0, 0, 2},
       kStackOverflow,
       "vectored_exception",
       kStackOverflow,
       true,
       FaultThread::kOther},
      {L"segv_signal",
       {L"signal=11"},
       {2, 0, 0, 9},
       kSegmentationExit,
       "signal",
       0,
       false,
       FaultThread::kMain},
      {L"invalid_parameter",
       {L"invalid-parameter"},
       {-5, static_cast<long>(0x8889000A), 12, 2147483647},
       kRuntimeHandlerExit,
       "crt_invalid_parameter",
       0,
       false,
       FaultThread::kMain},
      {L"pure_virtual",
       {L"pure-virtual"},
       {6, static_cast<long>(0x80004005), 0, 1},
       kRuntimeHandlerExit,
       "crt_purecall",
       0,
       false,
       FaultThread::kMain},
      // A caught throw consumes the report; the overflow that follows writes nothing and, with no
      // file of ours to describe it, goes to the platform's error reporting.
      {L"caught_throw_then_overflow",
       {L"throw-caught", L"sleep=1100", L"stack-overflow"},
       {4, 0, 0, 2},
       kFailFast,
       "vectored_exception",
       kGccThrow,
       true,
       FaultThread::kMain},
      // A survived error-severity exception raised while the thread holds the process heap's lock,
      // as in a fault inside the allocator: the thread writes its files itself, since no other
      // thread could take that lock. A second fault a second later writes nothing.
      {L"heap_locked_then_second_fault",
       {L"heap-lock", L"raise=0xE0000042", L"sleep=1100", L"av"},
       {0, 0, 0, 0},
       kSegmentationExit,
       "vectored_exception",
       0xE0000042,
       true,
       FaultThread::kMain},
      {L"breakpoint",
       {L"raise=0x80000003"},
       {0, 0, 0, 0},
       0,
       "vectored_exception",
       0x80000003,
       true,
       FaultThread::kMain},
      // Debugger output, console break and warning codes pass without using up the report.
      {L"ignored_codes_then_av",
       {L"raise=0x40010006", L"raise=0x80000004", L"raise=0x40010005", L"raise=0x4001000A",
        L"raise=0", L"av"},
       {0, 0, 0, 0},
       kSegmentationExit,
       "vectored_exception",
       kAccessViolation,
       true,
       FaultThread::kMain},
      // A warning the vectored handler lets pass, which nothing handles: the unhandled-exception
      // filter records it and the platform ends the process with its code.
      {L"unhandled_warning",
       {L"raise-unhandled=0x8A000001"},
       {0, 0, 0, 0},
       0x8A000001,
       "unhandled_exception",
       0x8A000001,
       true,
       FaultThread::kMain},
      {LongProfileCase().c_str(),
       {L"av"},
       {0, 0, 0, 0},
       kSegmentationExit,
       "vectored_exception",
       kAccessViolation,
       true,
       FaultThread::kMain,
       false,
       true},
      // Two threads fault at the same moment while the dumps take a little longer than usual.
      // The thread that loses the report waits for the writer before its own handler ends the
      // process, so the one report and both dumps are complete.
      {L"race",
       {L"slow-dump=300", L"race"},
       {3, 0, 0, 4},
       kAccessViolation,
       "vectored_exception",
       kAccessViolation,
       true,
       FaultThread::kOther,
       true},
  };
  return cases;
}

std::wstring CellsAction(const long (&cells)[4]) {
  wchar_t text[96] = {};
  std::swprintf(text, 96, L"cells=%ld,%ld,%ld,%ld", cells[0], cells[1], cells[2], cells[3]);
  return text;
}

std::vector<std::wstring> WithCells(const RecordedCase& c) {
  std::vector<std::wstring> actions = {CellsAction(c.cells)};
  actions.insert(actions.end(), c.actions.begin(), c.actions.end());
  return actions;
}

// A path as the report writes it: UTF-8.
std::string Narrow(const std::wstring& text) {
  char utf8[1024] = {};
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8, sizeof(utf8), nullptr, nullptr);
  return utf8;
}

// "0x" and eight upper-case hexadecimal digits.
std::string Hex8(unsigned long value) {
  char text[16] = {};
  std::snprintf(text, sizeof(text), "0x%08lX", value);
  return text;
}

// Read with the Win32 API: libstdc++'s locale-using parts (file streams, regex) crashed in this
// program when linked against the UCRT, and its wide-path conversions do not link.
std::vector<unsigned char> ReadBytes(const fs::path& path) {
  std::vector<unsigned char> bytes;
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  unsigned char chunk[65536];
  DWORD read = 0;
  while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) {
    bytes.insert(bytes.end(), chunk, chunk + read);
  }
  CloseHandle(file);
  return bytes;
}

bool AllOf(const std::string& text, std::size_t from, std::size_t count, const char* allowed) {
  if (text.size() < from + count) return false;
  return text.find_first_not_of(allowed, from) >= from + count;
}

std::vector<fs::path> FilesIn(const fs::path& dir) {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error)) files.push_back(entry.path());
  return files;
}

std::vector<fs::path> DumpsIn(const fs::path& dir) {
  std::vector<fs::path> dumps;
  for (const fs::path& file : FilesIn(dir)) {
    if (file.extension() == L".dmp") dumps.push_back(file);
  }
  return dumps;
}

// The report split at CR LF; false unless every line ends in CR LF, the last one too.
bool SplitReport(const std::vector<unsigned char>& bytes, std::vector<std::string>& lines) {
  std::string text(bytes.begin(), bytes.end());
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) return false;
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  for (const std::string& line : lines) {
    if (line.find_first_of("\r\n") != std::string::npos) return false;
  }
  return true;
}

// The name's time stamp and process id: tovan_native_crash_YYYYMMDD_HHMMSS_PID.dmp.
struct DumpName {
  std::string date;  // YYYYMMDD
  std::string time;  // HHMMSS
  unsigned long processId = 0;
};

bool ParseDumpName(const std::string& name, DumpName& parsed) {
  const std::string prefix = "tovan_native_crash_";
  const std::string suffix = ".dmp";
  const char* digits = "0123456789";
  const std::size_t idStart = prefix.size() + 16;
  if (name.size() <= idStart + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0 ||
      !AllOf(name, prefix.size(), 8, digits) || name[prefix.size() + 8] != '_' ||
      !AllOf(name, prefix.size() + 9, 6, digits) || name[prefix.size() + 15] != '_' ||
      !AllOf(name, idStart, name.size() - suffix.size() - idStart, digits)) {
    return false;
  }
  parsed.date = name.substr(prefix.size(), 8);
  parsed.time = name.substr(prefix.size() + 9, 6);
  parsed.processId = std::stoul(name.substr(idStart));
  return true;
}

std::string TimestampLine(const DumpName& name) {
  const std::string& d = name.date;
  const std::string& t = name.time;
  return "timestamp=" + d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2) + "T" +
         t.substr(0, 2) + ":" + t.substr(2, 2) + ":" + t.substr(4, 2);
}

// Checks one minidump: valid, the faulting thread listed, and an exception stream exactly when
// the fault had an exception record, naming the thread, code and address of the report.
void ExpectValidDump(const fs::path& path, DWORD threadId, bool hasExceptionRecord, DWORD code,
                     std::optional<unsigned long long> address) {
  SCOPED_TRACE(Narrow(path.wstring()));
  MinidumpSummary summary;
  const auto error = ReadMinidump(ReadBytes(path), summary);
  ASSERT_FALSE(error.has_value()) << *error;
  EXPECT_NE(std::find(summary.threadIds.begin(), summary.threadIds.end(), threadId),
            summary.threadIds.end())
      << "faulting thread " << threadId << " not in the thread list";
  // The streams Wine writes for type 0x1065: threads, modules, memory, system and misc info (it
  // leaves out handle data, unloaded modules and thread info, which Windows adds).
  for (std::uint32_t stream : {3u, 4u, 5u, 7u, 15u}) {
    EXPECT_NE(std::find(summary.streamTypes.begin(), summary.streamTypes.end(), stream),
              summary.streamTypes.end())
        << "no stream of type " << stream;
  }
  ASSERT_EQ(summary.exception.has_value(), hasExceptionRecord);
  if (hasExceptionRecord) {
    EXPECT_EQ(summary.exception->threadId, threadId);
    EXPECT_EQ(summary.exception->code, code);
    if (address.has_value()) {
      EXPECT_EQ(summary.exception->address, *address);
    } else {
      EXPECT_NE(summary.exception->address, 0u);
    }
  }
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

const wchar_t kFaultInWriterCase[] = L"fault_in_writer";
const wchar_t kCaughtWhileWritingCase[] = L"caught_while_writing";
const wchar_t kCaughtThrowStalledCase[] = L"caught_throw_stalled";
const wchar_t kStepsCase[] = L"steps_under_the_limit";
constexpr DWORD kStallLimitMs = 3000;
// Well above a probe start under a loaded Wine, well below the default stall limit (30 s).
constexpr ULONGLONG kNoWaitMs = 15000;

// A writer that stalls, under each kind of handler that ends the process, ends it through the
// platform's error reporting soon after the limit, with no dump under a dump's name.
struct StalledCase {
  const wchar_t* name;
  std::vector<std::wstring> actions;
  // Only the dump in the crash directory stalls: the temporary copy and the report come first.
  bool onlyCrashFolder;
};

const std::vector<StalledCase>& StalledCases() {
  static const std::vector<StalledCase> cases = {
      {L"stalled_crash_folder", {L"stalling-folder-dump", L"av"}, true},
      {L"stalled_abort", {L"stalling-dump", L"abort"}, false},
      {L"stalled_invalid_parameter", {L"stalling-dump", L"invalid-parameter"}, false},
  };
  return cases;
}

// Runs every probe of the suite at once; tests then look at their own case.
class CrashReportTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::error_code ignored;
    fs::remove_all(CasesRoot(), ignored);
    runs_ = new std::map<std::wstring, std::unique_ptr<ProbeRun>>();
    auto add = [](const std::wstring& name, std::vector<std::wstring> actions) {
      (*runs_)[name] = std::make_unique<ProbeRun>(name, std::move(actions));
    };
    for (const RecordedCase& c : RecordedCases()) add(c.name, WithCells(c));
    // A fault inside the report writer, on the writing thread, must not wait for itself.
    add(kFaultInWriterCase, {L"faulting-dump", L"av-thread"});
    // While a second thread's caught throw is being recorded (slowly), a caught throw on the main
    // thread goes on at once.
    add(kCaughtWhileWritingCase,
        {L"slow-dump=5000", L"throw-caught-thread", L"sleep=1000", L"throw-caught-within=3000"});
    add(L"ignored_codes", {L"raise=0x40010006", L"raise=0x80000004", L"raise=0x40010005",
                           L"raise=0x4001000A", L"raise=0"});
    add(L"failing_dump", {L"failing-dump", L"av"});
    add(L"no_crash_directory", {L"no-crash-directory", L"av"});
    // A caught throw on a second thread whose writer hangs: the main thread outlives the stall
    // limit by far and ends the process normally, while that dump is still being written.
    add(kCaughtThrowStalledCase,
        {L"stalling-dump", L"stall-limit=2000", L"throw-caught-thread", L"sleep=12000"});
    // Two steps of 4 s each under a 6 s limit: the limit counts from each step's progress.
    add(kStepsCase, {L"sleeping-dump=4000", L"stall-limit=6000", L"av"});
    const std::wstring stallLimit = L"stall-limit=" + std::to_wstring(kStallLimitMs);
    for (const StalledCase& c : StalledCases()) {
      std::vector<std::wstring> actions = {stallLimit};
      actions.insert(actions.end(), c.actions.begin(), c.actions.end());
      add(c.name, actions);
    }
    for (const wchar_t* name : {kOtherScriptsCase, StalledCases()[0].name}) {
      const ProbeRun& run = *runs_->at(name);
      fs::create_directories(run.crashDir(), ignored);
      WriteBytes(run.crashDir() / L"last_native_crash.txt", kPreviousReport);
    }
    std::vector<ProbeRun*> alone = {runs_->at(kFaultInWriterCase).get(),
                                    runs_->at(kCaughtWhileWritingCase).get()};
    for (const RecordedCase& c : RecordedCases()) {
      if (c.runAlone) alone.push_back(runs_->at(c.name).get());
    }
    auto isAlone = [&alone](const ProbeRun* run) {
      return std::find(alone.begin(), alone.end(), run) != alone.end();
    };
    std::vector<ProbeRun*> together;
    for (auto& [name, run] : *runs_) {
      if (!isAlone(run.get())) together.push_back(run.get());
    }
    // A few at a time: every minidump goes through the one Wine server of the prefix, and more
    // probes at once only make each of them slower.
    RunProbes(together, kProbesAtOnce, kProbeTimeoutMs);
    RunProbes(alone, 1, kProbeTimeoutMs);
  }
  static void TearDownTestSuite() {
    delete runs_;
    runs_ = nullptr;
  }

  static const ProbeRun& Run(const std::wstring& name) { return *runs_->at(name); }

  static std::map<std::wstring, std::unique_ptr<ProbeRun>>* runs_;
};

std::map<std::wstring, std::unique_ptr<ProbeRun>>* CrashReportTest::runs_ = nullptr;

// Checks what one recorded fault left behind. A helper, so that a failed assertion ends only the
// check of its own case.
void ExpectRecorded(const RecordedCase& c, const ProbeRun& run) {
  ASSERT_FALSE(run.hung());
  EXPECT_EQ(run.exitCode(), c.exitCode) << std::hex << run.exitCode();

  // One dump and the report in the crash directory, one dump of the same name in the
  // temporary folder: a later fault in the same process wrote nothing more.
  const fs::path crashDir = c.localCrashDir ? run.localCrashDir() : run.crashDir();
  if (c.localCrashDir) {
    EXPECT_TRUE(FilesIn(run.crashDir()).empty());
  }
  const std::vector<fs::path> dumps = DumpsIn(crashDir);
  ASSERT_EQ(dumps.size(), 1u);
  EXPECT_EQ(FilesIn(crashDir).size(), 2u);
  const std::vector<fs::path> copies = DumpsIn(run.tempCopyDir());
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(copies[0].filename().wstring(), dumps[0].filename().wstring());
  DumpName name;
  ASSERT_TRUE(ParseDumpName(Narrow(dumps[0].filename().wstring()), name))
      << Narrow(dumps[0].filename().wstring());
  EXPECT_EQ(name.processId, run.processId());

  std::vector<std::string> lines;
  ASSERT_TRUE(SplitReport(ReadBytes(crashDir / L"last_native_crash.txt"), lines));
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[0], TimestampLine(name));
  EXPECT_EQ(lines[1], std::string("reason=") + c.reason);
  EXPECT_EQ(lines[2], "processId=" + std::to_string(run.processId()));
  unsigned long threadId = 0;
  ASSERT_EQ(std::sscanf(lines[3].c_str(), "threadId=%lu", &threadId), 1) << lines[3];
  EXPECT_EQ(lines[3], "threadId=" + std::to_string(threadId));
  if (c.thread == FaultThread::kMain) {
    EXPECT_EQ(threadId, run.mainThreadId());
  } else {
    EXPECT_NE(threadId, run.mainThreadId());
  }
  EXPECT_EQ(lines[4], "exceptionCode=" + Hex8(c.exceptionCode));
  unsigned long long address = 0;
  ASSERT_TRUE(lines[5].size() == 35 && lines[5].compare(0, 19, "exceptionAddress=0x") == 0 &&
              AllOf(lines[5], 19, 16, "0123456789ABCDEF"))
      << lines[5];
  address = std::stoull(lines[5].substr(19), nullptr, 16);
  EXPECT_EQ(address != 0, c.hasExceptionRecord) << lines[5];
  EXPECT_EQ(lines[6], "dumpPath=" + Narrow(dumps[0].wstring()));
  EXPECT_EQ(lines[7], "appVersion=" TOVAN_VERSION_TEXT);
  EXPECT_EQ(lines[8], "buildConfig=Release");
  EXPECT_EQ(lines[9], "architecture=x64");
  EXPECT_EQ(lines[10], "lastAudioOp=" + std::to_string(c.cells[0]));
  EXPECT_EQ(lines[11], "lastSetEndpointHr=" + Hex8(static_cast<unsigned long>(c.cells[1])));
  EXPECT_EQ(lines[12], "lastMciError=" + std::to_string(c.cells[2]));
  EXPECT_EQ(lines[13], "audioOpCount=" + std::to_string(c.cells[3]));

  ExpectValidDump(dumps[0], threadId, c.hasExceptionRecord, c.exceptionCode, address);
  ExpectValidDump(copies[0], threadId, c.hasExceptionRecord, c.exceptionCode, address);
}

TEST_F(CrashReportTest, RecordedFaultsLeaveTwoDumpsAndACompleteReport) {
  for (const RecordedCase& c : RecordedCases()) {
    SCOPED_TRACE(Narrow(c.name));
    ExpectRecorded(c, Run(c.name));
  }
}

TEST_F(CrashReportTest, DebuggerOutputConsoleAndWarningCodesWriteNothing) {
  const ProbeRun& run = Run(L"ignored_codes");
  ASSERT_FALSE(run.hung());
  EXPECT_EQ(run.exitCode(), 0u);
  EXPECT_TRUE(FilesIn(run.crashDir()).empty());
  EXPECT_TRUE(FilesIn(run.tempCopyDir()).empty());
}

TEST_F(CrashReportTest, DumpThatCannotBeCompletedIsDeletedAndStillNamed) {
  const ProbeRun& run = Run(L"failing_dump");
  ASSERT_FALSE(run.hung());
  EXPECT_EQ(run.exitCode(), kSegmentationExit);
  EXPECT_TRUE(DumpsIn(run.crashDir()).empty());
  EXPECT_TRUE(DumpsIn(run.tempCopyDir()).empty());
  std::vector<std::string> lines;
  ASSERT_TRUE(SplitReport(ReadBytes(run.crashDir() / L"last_native_crash.txt"), lines));
  ASSERT_EQ(lines.size(), 14u);
  const std::string prefix = "dumpPath=" + Narrow(run.crashDir().wstring()) + "\\";
  ASSERT_EQ(lines[6].compare(0, prefix.size(), prefix), 0) << lines[6];
  DumpName name;
  ASSERT_TRUE(ParseDumpName(lines[6].substr(prefix.size()), name)) << lines[6];
  EXPECT_EQ(name.processId, run.processId());
  EXPECT_EQ(lines[0], TimestampLine(name));
}

TEST_F(CrashReportTest, WithoutACrashDirectoryOnlyTheTemporaryCopyIsWritten) {
  const ProbeRun& run = Run(L"no_crash_directory");
  ASSERT_FALSE(run.hung());
  EXPECT_EQ(run.exitCode(), kSegmentationExit);
  EXPECT_TRUE(FilesIn(run.crashDir()).empty());
  const std::vector<fs::path> copies = DumpsIn(run.tempCopyDir());
  ASSERT_EQ(copies.size(), 1u);
  DumpName name;
  ASSERT_TRUE(ParseDumpName(Narrow(copies[0].filename().wstring()), name));
  EXPECT_EQ(name.processId, run.processId());
  MinidumpSummary summary;
  const auto error = ReadMinidump(ReadBytes(copies[0]), summary);
  ASSERT_FALSE(error.has_value()) << *error;
  ASSERT_TRUE(summary.exception.has_value());
  EXPECT_EQ(summary.exception->threadId, run.mainThreadId());
  EXPECT_EQ(summary.exception->code, kAccessViolation);
}

// The fault inside the writer ends the process at once; the dump it was writing is left only
// under its partial name.
TEST_F(CrashReportTest, FaultInsideTheWriterEndsTheProcessWithoutWaitingForItself) {
  const ProbeRun& run = Run(kFaultInWriterCase);
  ASSERT_FALSE(run.hung());
  EXPECT_EQ(run.exitCode(), kAccessViolation) << std::hex << run.exitCode();
  EXPECT_LT(run.elapsedMs(), kNoWaitMs);
  EXPECT_TRUE(DumpsIn(run.crashDir()).empty());
  EXPECT_TRUE(DumpsIn(run.tempCopyDir()).empty());
}

TEST_F(CrashReportTest, StalledWriterEndsADyingProcessThroughThePlatform) {
  for (const StalledCase& c : StalledCases()) {
    SCOPED_TRACE(Narrow(c.name));
    const ProbeRun& run = Run(c.name);
    ASSERT_FALSE(run.hung());
    EXPECT_EQ(run.exitCode(), kFailFast) << std::hex << run.exitCode();
    EXPECT_LT(run.elapsedMs(), kStallLimitMs + kNoWaitMs);
    EXPECT_TRUE(DumpsIn(run.crashDir()).empty());
    if (!c.onlyCrashFolder) {
      EXPECT_TRUE(DumpsIn(run.tempCopyDir()).empty());
      continue;
    }
    // The temporary copy and this fault's report were written before the crash folder stalled.
    EXPECT_EQ(DumpsIn(run.tempCopyDir()).size(), 1u);
    std::vector<std::string> lines;
    ASSERT_TRUE(SplitReport(ReadBytes(run.crashDir() / L"last_native_crash.txt"), lines));
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[2], "processId=" + std::to_string(run.processId()));
  }
}

// A writer that hangs on a thread whose throw was caught does not end the process, which exits
// normally with no dump under a dump's name; steps that each stay under the limit finish.
TEST_F(CrashReportTest, StallLimitEndsOnlyDyingProcessesAndCountsEachStep) {
  const ProbeRun& caught = Run(kCaughtThrowStalledCase);
  ASSERT_FALSE(caught.hung());
  EXPECT_EQ(caught.exitCode(), 0u) << std::hex << caught.exitCode();
  EXPECT_TRUE(DumpsIn(caught.crashDir()).empty());
  EXPECT_TRUE(DumpsIn(caught.tempCopyDir()).empty());
  const ProbeRun& steps = Run(kStepsCase);
  ASSERT_FALSE(steps.hung());
  EXPECT_EQ(steps.exitCode(), kSegmentationExit) << std::hex << steps.exitCode();
  EXPECT_EQ(DumpsIn(steps.crashDir()).size(), 1u);
  EXPECT_EQ(DumpsIn(steps.tempCopyDir()).size(), 1u);
  EXPECT_TRUE(fs::exists(steps.crashDir() / L"last_native_crash.txt"));
}

TEST_F(CrashReportTest, CaughtThrowDoesNotWaitForAnotherThreadsReport) {
  const ProbeRun& run = Run(kCaughtWhileWritingCase);
  ASSERT_FALSE(run.hung());
  EXPECT_EQ(run.exitCode(), 0u) << "4: the caught throw waited for the writer";
}

}  // namespace
