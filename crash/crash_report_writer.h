#pragma once

#include <windows.h>

// Records one fault of this process: a minidump and the report "last_native_crash.txt" in the
// crash directory, and a second minidump in the temporary folder "tovan_crashes". `reason` names
// the handler; `exception` is the platform's record of the fault, or null when there is none
// (signals, runtime handlers). The report and both dumps describe the calling thread. Record and
// context are copied into static storage when the fault is recorded, so the writing and every
// later ending use the copies, never the faulting thread's stack.
//
// Works at most once per process: the first call claims a process-wide flag and every later call
// writes nothing. The faulting thread writes the files itself (crash_thread.h says why) while
// the crash thread watches; only a stack overflow is written by the crash thread. Uses only fixed
// buffers and allocates nothing of its own.
//
// A stall is a step of the writing (a minidump, the report) that makes no progress for the stall
// limit; a dump file that keeps growing is progress. Where a stall means that a dying process
// gets none of our files, the process ends through RaiseFailFastException with the fault's
// record and context, which hands the crash to the platform's error reporting (and its
// LocalDumps registration) instead.

// For a handler that ends the process once this returns (the unhandled-exception filter, the
// signal and runtime handlers). Returns once the files are written, by this call or by an
// earlier one on another thread; returns at once on the thread that is writing (a fault inside
// the writer). Does not return when the writing stalls: the process ends through the platform.
void WriteCrashReport(const char* reason, EXCEPTION_POINTERS* exception);

// For the vectored handler, whose exception may still be caught: a later call returns at once
// instead of waiting for another thread's files. `mayBeCaught` marks exceptions that programs
// survive as a matter of course (thrown language exceptions, breakpoints): should their writing
// stall, the process is left to go on. Any other stall ends it through the platform.
void WriteCrashReportUnlessBusy(const char* reason, EXCEPTION_POINTERS* exception,
                                bool mayBeCaught);

// For a stack overflow, which leaves the thread too little stack to go on: the crash thread
// writes the files (the faulting thread writes them itself when that thread has ended), and the
// process ends with the overflow's code. Where no files describe this overflow (the report was
// used up by an earlier fault, or the writing stalled), it ends through the platform instead.
[[noreturn]] void RecordStackOverflow(EXCEPTION_POINTERS* exception);

// How long one step of the writing may go without progress. Tests shorten it; 0 restores the
// default.
void SetWriterStallLimitForTesting(DWORD milliseconds);
