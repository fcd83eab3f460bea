#include "crash/crash_handlers.h"

#include <windows.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>

#include "crash/crash_report_writer.h"
#include "crash/crash_thread.h"

namespace {

// The main thread keeps this much stack for exception handling after a stack overflow, so that
// the handlers still have room to write the report.
constexpr ULONG kStackGuaranteeBytes = 0x10000;

constexpr int kRuntimeHandlerExitCode = 3;

// Codes under which thrown language exceptions are raised. 0xE06D7363 is the MSVC runtime's.
// GCC's unwinder raises every throw, caught or not, as 0x20474343 ("GCC" with the customer bit),
// so a program built by GCC would otherwise never record a throw; both are recognised so that the
// rule is the same whichever compiler built the program.
constexpr DWORD kMsvcThrowCode = 0xE06D7363;
constexpr DWORD kGccThrowCode = 0x20474343;
constexpr DWORD kBreakpointCode = 0x80000003;
constexpr DWORD kStackOverflowCode = 0xC00000FD;
constexpr DWORD kErrorSeverityBits = 0xC0000000;

// Error-severity exceptions, thrown language exceptions and breakpoints are recorded. The
// console's control break (0x40010005), debugger output (0x40010006, 0x4001000A), code 0 and
// every other informational or warning code are not: they are part of normal operation.
bool ShouldRecord(DWORD code) {
  return (code & kErrorSeverityBits) == kErrorSeverityBits || code == kMsvcThrowCode ||
         code == kGccThrowCode || code == kBreakpointCode;
}

// Throws and breakpoints are raised on purpose and caught as a matter of course; a process that
// meets one almost always goes on.
bool RoutinelyCaught(DWORD code) {
  return code == kMsvcThrowCode || code == kGccThrowCode || code == kBreakpointCode;
}

// Called first for every exception on every thread. Records and lets the search go on, so that a
// frame handler may still catch the exception; that is also why it never waits for another
// thread's report.
//
// A stack overflow is the exception: it leaves the thread too little stack to go on searching,
// and a second overflow in a later handler would end only the thread (under Wine the process
// then exits with 0, as if nothing had happened). The overflow is recorded and the process ends
// there (crash_report_writer.h).
LONG WINAPI OnVectoredException(EXCEPTION_POINTERS* exception) {
  if (exception == nullptr || exception->ExceptionRecord == nullptr) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const DWORD code = exception->ExceptionRecord->ExceptionCode;
  if (code == kStackOverflowCode) {
    RecordStackOverflow(exception);
  }
  if (ShouldRecord(code)) {
    WriteCrashReportUnlessBusy("vectored_exception", exception, RoutinelyCaught(code));
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

// No frame handled the exception: record it (if nothing was recorded yet) and let the platform
// end the process.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
  WriteCrashReport("unhandled_exception", exception);
  return EXCEPTION_EXECUTE_HANDLER;
}

void __cdecl OnSignal(int signalNumber) {
  WriteCrashReport(signalNumber == SIGABRT ? "sigabrt" : "signal", nullptr);
  _Exit(128 + signalNumber);
}

void __cdecl OnInvalidParameter(const wchar_t* /*expression*/, const wchar_t* /*function*/,
                                const wchar_t* /*file*/, unsigned int /*line*/,
                                std::uintptr_t /*reserved*/) {
  WriteCrashReport("crt_invalid_parameter", nullptr);
  _Exit(kRuntimeHandlerExitCode);
}

void __cdecl OnPureVirtualCall() {
  WriteCrashReport("crt_purecall", nullptr);
  _Exit(kRuntimeHandlerExitCode);
}

}  // namespace

// The runtime's start-up code (mingw's, or MSVC's) has installed an unhandled-exception filter and
// an invalid-parameter handler of its own; mingw's filter turns an access violation into SIGSEGV
// and resumes the faulting instruction. The calls below replace them, and the previous ones are
// discarded. Both runtimes also wrap the main thread's entry in an exception frame that hands an
// access violation there to the SIGSEGV handler: a fault on the main thread ends through OnSignal
// (exit code 139), one on another thread through OnUnhandledException.
//
// Last comes the crash thread, the only start-up cost: one thread that waits. Should it not
// start, faults are recorded without a watcher, and a stack overflow on what stack is left.
void InstallCrashHandlers() {
  ULONG guarantee = kStackGuaranteeBytes;
  SetThreadStackGuarantee(&guarantee);
  AddVectoredExceptionHandler(1, OnVectoredException);
  SetUnhandledExceptionFilter(OnUnhandledException);
  std::signal(SIGABRT, OnSignal);
  std::signal(SIGSEGV, OnSignal);
  _set_invalid_parameter_handler(OnInvalidParameter);
  _set_purecall_handler(OnPureVirtualCall);
  StartCrashThread();
}
