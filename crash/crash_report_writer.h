#pragma once

#include <windows.h>

// Records one fault of this process: a minidump and the report "last_native_crash.txt" in the
// crash directory, and a second minidump in the temporary folder "tovan_crashes". `reason` names
// the handler; `exception` is the platform's record of the fault, or null when there is none
// (signals, runtime handlers).
//
// Works at most once per process: the first call claims a process-wide flag and every later call
// writes nothing. A later call from another thread waits until the first one has finished
// writing, as long as the writer makes progress (20 seconds at most per file), so that a second
// faulting thread cannot end the process while the files are half written; a call on the writing
// thread itself (a fault inside the writer) returns at once. Uses only fixed buffers on its own
// stack and allocates nothing.
void WriteCrashReport(const char* reason, EXCEPTION_POINTERS* exception);

// The same, except that a later call returns at once instead of waiting. For the vectored
// handler, whose exception may still be caught: a thread that goes on running must not stall
// while another one writes. Should its exception not be caught, the handler that ends the process
// calls WriteCrashReport and waits there.
void WriteCrashReportUnlessBusy(const char* reason, EXCEPTION_POINTERS* exception);
