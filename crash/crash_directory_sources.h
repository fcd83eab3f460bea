#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

// Where the crash directory's candidates come from. The process always uses the shell's known
// folders and the kernel's temporary path; tests substitute a failing or oversized folder, which
// no real profile can be made to give on demand. Both functions follow the contracts of
// SHGetKnownFolderPath (the path is freed by the caller with CoTaskMemFree) and GetTempPathW.
struct CrashDirectorySources {
  HRESULT(WINAPI* getKnownFolderPath)(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path);
  DWORD(WINAPI* getTempPath)(DWORD capacity, LPWSTR buffer);
};

// Replaces the sources for the whole process; nullptr restores the real ones. The object must
// outlive its use. Tests call this before anything resolves the directory.
void SetCrashDirectorySourcesForTesting(const CrashDirectorySources* sources);
