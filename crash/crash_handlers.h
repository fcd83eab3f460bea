#pragma once

// Process start-up calls these two first thing, on the main thread, in this order.

// Installs the crash capture: the main thread's stack guarantee, then the vectored exception
// handler, the unhandled-exception filter, the SIGABRT and SIGSEGV handler, and the C runtime's
// invalid-parameter and pure-virtual-call handlers. They replace whatever the runtime's start-up
// code installed and stay for the life of the process. Then starts the crash thread, which
// watches the writing of the crash files and writes them after a stack overflow (crash_thread.h).
void InstallCrashHandlers();

// Registers the crash directory with Windows Error Reporting (its LocalDumps values for
// tovan.exe under HKEY_CURRENT_USER), rewriting them at every start. Failures are skipped.
void RegisterLocalDumps();
