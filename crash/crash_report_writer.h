#pragma once

#include <windows.h>

// Records one fault of this process: a minidump and the report "last_native_crash.txt" in the
// crash directory, and a second minidump in the temporary folder "tovan_crashes". `reason` names
// the handler; `exception` is the platform's record of the fault, or null when there is none
// (signals, runtime handlers). The report and both dumps describe the calling thread.
//
// Works at most once per process: the first call claims a process-wide flag and every later call
// writes nothing. The files are written by the crash writer thread when it runs (see
// crash_writer_thread.h), otherwise by the calling thread; the calling thread waits until they
// are written. A later call from another thread also waits for the first one to finish, so that
// its handler cannot end the process while the files are half written; a call on the writing
// thread itself (a fault inside the writer) returns at once.
//
// Every wait lasts only while the writer makes progress: when one step of the writing (a
// minidump, the report) stalls, the waiting thread ends the process at once with
// `exitCodeIfStalled`, the code its own handler would have ended it with. A dump that was being
// written then disappears with the process (see minidump_writer.h). Uses only fixed buffers and
// allocates nothing.
void WriteCrashReport(const char* reason, EXCEPTION_POINTERS* exception, UINT exitCodeIfStalled);

// The same, except that a later call returns at once instead of waiting. For the vectored
// handler, whose exception may still be caught: a thread that goes on running must not stall
// while another one writes. Should its exception not be caught, the handler that ends the process
// calls WriteCrashReport and waits there.
void WriteCrashReportUnlessBusy(const char* reason, EXCEPTION_POINTERS* exception,
                                UINT exitCodeIfStalled);

// How long one step of the writing may go without progress before waiting threads give up.
// Tests shorten it to see a stalled writer end the process; 0 restores the default.
void SetWriterStallLimitForTesting(DWORD milliseconds);
