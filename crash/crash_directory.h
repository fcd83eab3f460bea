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

// The longest name the crash capture gives a file in the directory, with its separator:
// "\tovan_native_crash_YYYYMMDD_HHMMSS_<process id>.dmp.partial" with a ten-digit process id. A
// profile candidate is chosen only when this much of the capacity is left after it, so that the
// dump's full path fits wherever the directory does.
inline constexpr std::size_t kCrashFileNameRoom = 1 + 19 + 16 + 10 + 12;

// Tries, in order: <roaming app data>\com.brenmoworks\tovan\BrenmoTovan\crashes,
// <local app data>\BrenmoTovan\crashes, and the temporary path followed directly by
// "BrenmoTovan_crashes". False only when the temporary path cannot be obtained.
bool ResolveCrashDirectory(wchar_t* buffer, std::size_t capacity);

// The same over the two profile folders only: false when neither yields a directory that fits
// with its files.
// Used where the user is shown the directory, which must not be a temporary one.
bool ResolveUserCrashDirectory(wchar_t* buffer, std::size_t capacity);
