#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <dbghelp.h>

// Writes one minidump of this process (type 0x1065: data segments, handle data, unloaded
// modules, indirectly referenced memory, thread info) to `path`, with exception information
// naming `threadId`, the thread that faulted, when `exception` is not null. `watcherThreadId`,
// when not 0, is a thread that watches the writing from outside and is left out of the dump
// (see minidump_writer.cc).
//
// The dump is written under the name `path` + ".partial" and renamed to `path` once complete, so
// a file under the dump's own name is always a complete dump, and no complete dump is ever
// deleted: whatever ends the writing early (the system's writer failing, a fault inside it, the
// process ending meanwhile) leaves at most a ".partial" file, which a failure of the writer
// deletes. Where the rename is refused, the complete dump keeps the ".partial" name. Where the
// longer name does not fit in MAX_PATH, nothing is written. The growing file counts as the
// writer's progress (writer_progress.h). The outcome is not reported: the crash report writer has
// nothing it could do about a failure.
void WriteMinidump(const wchar_t* path, EXCEPTION_POINTERS* exception, DWORD threadId,
                   DWORD watcherThreadId);

// The function that writes the dump, with MiniDumpWriteDump's contract. The process always uses
// the system's; tests substitute one that fails part-way or takes its time, which the system's
// own cannot be made to do. nullptr restores the system's.
using MiniDumpWriter = BOOL(WINAPI*)(HANDLE process, DWORD processId, HANDLE file,
                                     MINIDUMP_TYPE type, PMINIDUMP_EXCEPTION_INFORMATION exception,
                                     PMINIDUMP_USER_STREAM_INFORMATION userStreams,
                                     PMINIDUMP_CALLBACK_INFORMATION callback);
void SetMiniDumpWriterForTesting(MiniDumpWriter writer);
