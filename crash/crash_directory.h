#pragma once

#include <cstddef>

// The per-user directory that keeps this process's minidumps and its last-crash report.
//
// Both functions write the directory into the caller's buffer of `capacity` UTF-16 units
// (terminator included) and ask the shell to create it, with every missing parent. They keep no
// state: each call asks the shell again and re-creates the directory if it has gone. They use no
// memory beyond the caller's buffer and the folder string the shell hands back, so the crash
// handlers can call them on a faulting thread. True does not promise that the directory exists
// or is writable; whoever creates files in it handles that.

// Tries, in order: <roaming app data>\com.brenmoworks\tovan\BrenmoTovan\crashes,
// <local app data>\BrenmoTovan\crashes, and the temporary path followed directly by
// "BrenmoTovan_crashes". False only when the temporary path cannot be obtained.
bool ResolveCrashDirectory(wchar_t* buffer, std::size_t capacity);

// The same over the two profile folders only: false when neither yields a directory that fits.
// Used where the user is shown the directory, which must not be a temporary one.
bool ResolveUserCrashDirectory(wchar_t* buffer, std::size_t capacity);
