#pragma once

#include <windows.h>

// The thread that writes the crash files on behalf of a thread that faults. It is started once,
// when the crash handlers are installed, with a stack of its own, and then waits for its one job.
// A thread that has overflowed its stack has only a few KiB left (and under Wine far less than
// the guarantee it asked for), too little for the shell and the minidump writer; handing the work
// to this thread lets every fault, a stack overflow included, be recorded from a healthy stack,
// while the faulting thread waits with a small frame.

// Starts the thread; does nothing when it runs already. False when it cannot be started, in
// which case faulting threads write their files themselves.
bool StartCrashWriterThread();

// Makes the writer thread call `job` once. False when no writer thread runs or it has been given
// its job already. Safe on a faulting thread: no allocation, no lock.
bool PostToCrashWriterThread(void (*job)());

// The writer thread's id, or 0 when it is not running.
DWORD CrashWriterThreadId();
