#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <dbghelp.h>

// Writes one minidump of this process (type 0x1065: data segments, handle data, unloaded
// modules, indirectly referenced memory, thread info) to `path`, with exception information
// naming `threadId`, the thread that faulted, when `exception` is not null. Whatever ends the
// writing (a failure of the system's writer, a fault inside it, the process ending meanwhile),
// no empty or partial dump is left behind: the file is marked for deletion from the moment it is
// created, and the mark is lifted only once the dump is complete. The outcome is not reported:
// the crash report writer has nothing it could do about a failure.
void WriteMinidump(const wchar_t* path, EXCEPTION_POINTERS* exception, DWORD threadId);

// The function that writes the dump, with MiniDumpWriteDump's contract. The process always uses
// the system's; tests substitute one that fails part-way or takes its time, which the system's
// own cannot be made to do. nullptr restores the system's.
using MiniDumpWriter = BOOL(WINAPI*)(HANDLE process, DWORD processId, HANDLE file,
                                     MINIDUMP_TYPE type, PMINIDUMP_EXCEPTION_INFORMATION exception,
                                     PMINIDUMP_USER_STREAM_INFORMATION userStreams,
                                     PMINIDUMP_CALLBACK_INFORMATION callback);
void SetMiniDumpWriterForTesting(MiniDumpWriter writer);
