// Test tool, not product code: the fault probe that the crash capture tests start as a child
// process. It installs the crash handlers the way the program's start-up does, then performs the
// actions named on its command line, in order, typically ending in one fault. Actions:
//   profile=DIR          take the roaming and local application-data folders from DIR\AppData
//   cells=A,B,C,D        set lastAudioOp, lastSetEndpointHr, lastMciError, audioOpCount
//   no-crash-directory   make every crash directory candidate fail
//   failing-dump         make the minidump writer fail after writing part of the file
//   slow-dump=MS         make the minidump writer take MS milliseconds longer
//   sleeping-dump=MS     replace the minidump writer by one that sleeps MS milliseconds, then
//                        writes a stand-in file (a step whose length is known on a loaded machine)
//   faulting-dump        make the minidump writer fault (a fault inside the report writer)
//   stalling-dump        make the minidump writer write part of the file, then hang
//   stalling-folder-dump the same for the dump in the crash directory; a stand-in for the others
//   stall-limit=MS       give up on a stalled writer after MS milliseconds
//   av                   access violation on the main thread
//   av-thread            access violation on a second thread
//   race                 two threads that fault at the same moment
//   abort                std::abort
//   signal=N             raise C signal N
//   invalid-parameter    an invalid argument to a C runtime function
//   pure-virtual         a call of a pure virtual function
//   throw-caught         a language exception thrown and caught
//   throw-caught-thread  the same on a second thread, left running
//   throw-caught-within=MS  the same on this thread; exits with 4 if it took longer than MS
//   raise=CODE           RaiseException(CODE), resumed afterwards by the probe
//   raise-unhandled=CODE RaiseException(CODE), left to the handlers
//   sleep=MS             sleep
//   heap-lock            take the process heap's lock and keep it
//   end-crash-thread     end the crash thread, as the process's exit does before static
//                        destructors and DLL detach code run
//   stack-overflow       unbounded recursion on the main thread
//   stack-overflow-thread  the same on a second thread
// The probe exits with 0 when no action ended it, and with 2 on an unknown action.

#include <windows.h>
// After windows.h, which they need.
#include <dbghelp.h>
#include <shlobj.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <stdexcept>

#include "crash/crash_diagnostics.h"
#include "crash/crash_directory_sources.h"
#include "crash/crash_handlers.h"
#include "crash/crash_report_writer.h"
#include "crash/crash_thread.h"
#include "crash/minidump_writer.h"

namespace {

// Marks the exceptions the probe raises itself so that its own handler resumes only those.
constexpr ULONG_PTR kProbeMarker = 0x50524F42;

int* volatile g_nullTarget = nullptr;
DWORD g_slowDumpMs = 0;

LONG WINAPI ResumeProbeExceptions(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD* record = exception->ExceptionRecord;
  if (record->NumberParameters == 1 && record->ExceptionInformation[0] == kProbeMarker) {
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

HRESULT WINAPI FailingKnownFolder(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR* path) {
  *path = nullptr;
  return E_FAIL;
}

DWORD WINAPI FailingTempPath(DWORD, LPWSTR) { return 0; }

const CrashDirectorySources kNoDirectory = {FailingKnownFolder, FailingTempPath};

// The shell takes its profile folders from the prefix's registry, the same for every process, so
// each probe run is given folders of its own this way; the temporary path comes from TMP.
wchar_t g_roaming[MAX_PATH];
wchar_t g_local[MAX_PATH];

HRESULT WINAPI ProfileKnownFolder(REFKNOWNFOLDERID id, DWORD, HANDLE, PWSTR* path) {
  constexpr unsigned long kRoamingAppData = 0x3EB685DB;
  const wchar_t* folder = id.Data1 == kRoamingAppData ? g_roaming : g_local;
  const std::size_t bytes = (std::wcslen(folder) + 1) * sizeof(wchar_t);
  *path = static_cast<PWSTR>(CoTaskMemAlloc(bytes));
  std::memcpy(*path, folder, bytes);
  return S_OK;
}

const CrashDirectorySources kProfileDirectory = {ProfileKnownFolder, GetTempPathW};

BOOL WINAPI FailingDump(HANDLE, DWORD, HANDLE file, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                        PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION) {
  const char partial[] = "MDMP partial";
  DWORD written = 0;
  WriteFile(file, partial, sizeof(partial), &written, nullptr);
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

BOOL WINAPI SlowDump(HANDLE process, DWORD processId, HANDLE file, MINIDUMP_TYPE type,
                     PMINIDUMP_EXCEPTION_INFORMATION exception,
                     PMINIDUMP_USER_STREAM_INFORMATION streams,
                     PMINIDUMP_CALLBACK_INFORMATION callback) {
  Sleep(g_slowDumpMs);
  return MiniDumpWriteDump(process, processId, file, type, exception, streams, callback);
}

BOOL WINAPI SleepingDump(HANDLE, DWORD, HANDLE file, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                         PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION) {
  Sleep(g_slowDumpMs);
  const char standIn[] = "MDMP stand-in";
  DWORD written = 0;
  return WriteFile(file, standIn, sizeof(standIn), &written, nullptr);
}

BOOL WINAPI StallingDump(HANDLE, DWORD, HANDLE file, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                         PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION) {
  const char partial[] = "MDMP stalled";
  DWORD written = 0;
  WriteFile(file, partial, sizeof(partial), &written, nullptr);
  Sleep(INFINITE);
  return TRUE;
}

// Stalls only the dump that goes into the crash directory (a slow or unreachable profile folder);
// every other dump is a stand-in written at once.
BOOL WINAPI StallingFolderDump(HANDLE process, DWORD processId, HANDLE file, MINIDUMP_TYPE type,
                               PMINIDUMP_EXCEPTION_INFORMATION exception,
                               PMINIDUMP_USER_STREAM_INFORMATION streams,
                               PMINIDUMP_CALLBACK_INFORMATION callback) {
  wchar_t path[MAX_PATH * 2] = {};
  GetFinalPathNameByHandleW(file, path, MAX_PATH * 2, 0);
  if (std::wcsstr(path, L"\\BrenmoTovan\\crashes\\") != nullptr) {
    return StallingDump(process, processId, file, type, exception, streams, callback);
  }
  return SleepingDump(process, processId, file, type, exception, streams, callback);
}

void EndCrashThread() {
  const HANDLE thread = OpenThread(THREAD_TERMINATE | SYNCHRONIZE, FALSE, CrashThreadId());
  if (thread != nullptr) {
    TerminateThread(thread, 0);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
}

BOOL WINAPI FaultingDump(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                         PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION) {
  *g_nullTarget = 1;
  return TRUE;
}

void AccessViolation() { *g_nullTarget = 42; }

void ThrowAndCatch() {
  try {
    throw std::runtime_error("probe");
  } catch (const std::exception&) {
  }
}

DWORD WINAPI ThrowAndCatchOnThread(LPVOID) {
  ThrowAndCatch();
  return 0;
}

DWORD WINAPI FaultOnThread(LPVOID) {
  AccessViolation();
  return 0;
}

HANDLE g_startRace = nullptr;

DWORD WINAPI FaultWhenStarted(LPVOID) {
  WaitForSingleObject(g_startRace, INFINITE);
  AccessViolation();
  return 0;
}

void RunThreads(int count, LPTHREAD_START_ROUTINE routine) {
  HANDLE threads[2] = {};
  for (int i = 0; i < count; ++i) {
    threads[i] = CreateThread(nullptr, 0, routine, nullptr, 0, nullptr);
  }
  if (g_startRace != nullptr) {
    Sleep(100);  // both threads are waiting by now
    SetEvent(g_startRace);
  }
  WaitForMultipleObjects(count, threads, TRUE, INFINITE);
}

// Calls its pure virtual function from its constructor, through a pointer the compiler cannot
// see through, so that the call really goes through the vtable of the class under construction.
struct PureBase {
  PureBase();
  virtual ~PureBase() = default;
  virtual void Act() = 0;
};
PureBase* volatile g_underConstruction = nullptr;
PureBase::PureBase() {
  g_underConstruction = this;
  g_underConstruction->Act();
}
struct PureDerived : PureBase {
  void Act() override {}
};

volatile bool g_keepRecursing = true;

int Recurse(int depth) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  if (!g_keepRecursing) {
    return frame[0];
  }
  return Recurse(depth + 1) + frame[0];
}

DWORD WINAPI OverflowOnThread(LPVOID) { return static_cast<DWORD>(Recurse(0)); }

bool SetCells(const wchar_t* text) {
  long values[4] = {};
  for (long& value : values) {
    wchar_t* end = nullptr;
    value = static_cast<long>(std::wcstoul(text, &end, 0));
    if (end == text) {
      return false;
    }
    text = *end == L',' ? end + 1 : end;
  }
  CrashDiagnostics::lastAudioOp.exchange(values[0]);
  CrashDiagnostics::lastSetEndpointHr.exchange(values[1]);
  CrashDiagnostics::lastMciError.exchange(values[2]);
  CrashDiagnostics::audioOpCount.exchange(values[3]);
  return true;
}

bool Perform(const wchar_t* action) {
  const wchar_t* value = std::wcschr(action, L'=');
  value = value != nullptr ? value + 1 : L"";
  auto is = [action](const wchar_t* name) {
    const std::size_t length = std::wcslen(name);
    return std::wcsncmp(action, name, length) == 0 &&
           (action[length] == 0 || action[length] == L'=');
  };
  if (is(L"cells")) return SetCells(value);
  if (is(L"profile")) {
    std::swprintf(g_roaming, MAX_PATH, L"%ls\\AppData\\Roaming", value);
    std::swprintf(g_local, MAX_PATH, L"%ls\\AppData\\Local", value);
    SetCrashDirectorySourcesForTesting(&kProfileDirectory);
  } else if (is(L"no-crash-directory")) {
    SetCrashDirectorySourcesForTesting(&kNoDirectory);
  } else if (is(L"failing-dump")) {
    SetMiniDumpWriterForTesting(FailingDump);
  } else if (is(L"slow-dump")) {
    g_slowDumpMs = std::wcstoul(value, nullptr, 10);
    SetMiniDumpWriterForTesting(SlowDump);
  } else if (is(L"sleeping-dump")) {
    g_slowDumpMs = std::wcstoul(value, nullptr, 10);
    SetMiniDumpWriterForTesting(SleepingDump);
  } else if (is(L"stalling-dump")) {
    SetMiniDumpWriterForTesting(StallingDump);
  } else if (is(L"stalling-folder-dump")) {
    SetMiniDumpWriterForTesting(StallingFolderDump);
  } else if (is(L"heap-lock")) {
    HeapLock(GetProcessHeap());
  } else if (is(L"end-crash-thread")) {
    EndCrashThread();
  } else if (is(L"stall-limit")) {
    SetWriterStallLimitForTesting(std::wcstoul(value, nullptr, 10));
  } else if (is(L"faulting-dump")) {
    SetMiniDumpWriterForTesting(FaultingDump);
  } else if (is(L"av")) {
    AccessViolation();
  } else if (is(L"av-thread")) {
    RunThreads(1, FaultOnThread);
  } else if (is(L"race")) {
    g_startRace = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    RunThreads(2, FaultWhenStarted);
  } else if (is(L"abort")) {
    std::abort();
  } else if (is(L"signal")) {
    std::raise(static_cast<int>(std::wcstol(value, nullptr, 10)));
  } else if (is(L"invalid-parameter")) {
    std::FILE* volatile none = nullptr;
    std::fclose(none);
  } else if (is(L"pure-virtual")) {
    PureDerived derived;
  } else if (is(L"throw-caught")) {
    ThrowAndCatch();
  } else if (is(L"throw-caught-thread")) {
    CloseHandle(CreateThread(nullptr, 0, ThrowAndCatchOnThread, nullptr, 0, nullptr));
  } else if (is(L"throw-caught-within")) {
    const ULONGLONG started = GetTickCount64();
    ThrowAndCatch();
    const ULONGLONG took = GetTickCount64() - started;
    if (took > std::wcstoul(value, nullptr, 10)) {
      std::fwprintf(stderr, L"crash_probe: a caught throw took %llu ms\n", took);
      _Exit(4);
    }
  } else if (is(L"raise")) {
    const ULONG_PTR marker = kProbeMarker;
    RaiseException(std::wcstoul(value, nullptr, 0), 0, 1, &marker);
  } else if (is(L"raise-unhandled")) {
    RaiseException(std::wcstoul(value, nullptr, 0), 0, 0, nullptr);
  } else if (is(L"sleep")) {
    Sleep(std::wcstoul(value, nullptr, 10));
  } else if (is(L"stack-overflow-thread")) {
    RunThreads(1, OverflowOnThread);
  } else if (is(L"stack-overflow")) {
    return Recurse(0) != 0;
  } else {
    return false;
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // The probe carries DWARF debug information, which Wine's minidump writer would otherwise load
  // for every module before it writes a byte: tens of seconds on a loaded machine, longer than
  // the stall limit. Windows' writer loads no symbols.
  SymSetOptions(SymGetOptions() | SYMOPT_DEFERRED_LOADS);
  InstallCrashHandlers();
  AddVectoredExceptionHandler(0, ResumeProbeExceptions);
  for (int i = 1; i < argc; ++i) {
    if (!Perform(argv[i])) {
      std::fwprintf(stderr, L"crash_probe: cannot perform %ls\n", argv[i]);
      return 2;
    }
  }
  return 0;
}
