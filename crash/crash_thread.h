#pragma once

#include <windows.h>

// The crash thread: started once, when the crash handlers are installed, with a stack of its own,
// it then waits for its one job. For every fault but a stack overflow the faulting thread writes
// the crash files itself (it may hold the process heap's lock or the loader lock, which no other
// thread could take) and the crash thread only watches that the writing goes on. A thread that
// has overflowed its stack has only a few KiB left (under Wine far less than the guarantee it
// asked for), too little for the shell and the minidump writer: then the crash thread writes.
//
// The process's exit ends this thread before static destructors and DLL detach code run, and a
// thread may be ended from outside; every post checks that the thread still runs.

// Starts the thread; does nothing when it runs already. False when it cannot be started.
bool StartCrashThread();

// Makes the crash thread call `job` once. False, at once, when the thread does not run (any
// more), when the caller is the crash thread itself, or when it has been given its job already.
// Safe on a faulting thread: no allocation, no lock.
bool PostToCrashThread(void (*job)());

// The crash thread's id, or 0 when it was never started.
DWORD CrashThreadId();
