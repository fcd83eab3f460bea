#include "crash/crash_directory.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <atomic>

#include "crash/crash_directory_sources.h"
#include "crash/format_bounded.h"

namespace {

// Kept here rather than taken from the SDK's libraries so that the crash capture links nothing
// beyond the system DLLs it calls.
constexpr GUID kRoamingAppDataFolder = {
    0x3EB685DB, 0x65F9, 0x4CF6, {0xA0, 0x3A, 0xE3, 0xEF, 0x65, 0x72, 0x9F, 0x3D}};
constexpr GUID kLocalAppDataFolder = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};

constexpr wchar_t kTempSuffix[] = L"BrenmoTovan_crashes";

const CrashDirectorySources kShellSources = {SHGetKnownFolderPath, GetTempPathW};
std::atomic<const CrashDirectorySources*> g_sources{&kShellSources};

// Formats the candidate under one known folder into the buffer. A candidate counts only when the
// files the crash capture keeps in it fit too: the directory leaves kCrashFileNameRoom units of
// the capacity free. The buffer may be left holding truncated text on failure; the next
// candidate overwrites it.
bool FormatUnderKnownFolder(const CrashDirectorySources& sources, const GUID& folder,
                            const wchar_t* format, wchar_t* buffer, std::size_t capacity) {
  PWSTR base = nullptr;
  const HRESULT hr = sources.getKnownFolderPath(folder, 0, nullptr, &base);
  bool formatted = false;
  if (SUCCEEDED(hr) && base != nullptr && capacity > kCrashFileNameRoom) {
    formatted = SUCCEEDED(FormatBounded(buffer, capacity - kCrashFileNameRoom, format, base));
  }
  // The shell may hand back a string even with a failure result; it is ours to free either way.
  CoTaskMemFree(base);
  return formatted;
}

bool FormatUnderProfile(const CrashDirectorySources& sources, wchar_t* buffer,
                        std::size_t capacity) {
  return FormatUnderKnownFolder(sources, kRoamingAppDataFolder,
                                L"%s\\com.brenmoworks\\tovan\\BrenmoTovan\\crashes", buffer,
                                capacity) ||
         FormatUnderKnownFolder(sources, kLocalAppDataFolder, L"%s\\BrenmoTovan\\crashes", buffer,
                                capacity);
}

// Appends the suffix while room remains, always leaving one unit for the terminator. A buffer
// without a terminator in its first `capacity` units gets nothing appended. Cutting the suffix
// short is deliberate: a truncated temporary folder is still a place to keep dumps.
void AppendBounded(wchar_t* buffer, std::size_t capacity, const wchar_t* suffix) {
  std::size_t end = 0;
  while (end < capacity && buffer[end] != 0) {
    ++end;
  }
  if (end == capacity) {
    return;
  }
  while (*suffix != 0 && end + 1 < capacity) {
    buffer[end++] = *suffix++;
  }
  buffer[end] = 0;
}

// The directory's creation is not checked: an existing directory, a failure and success all lead
// on alike, and whoever writes into it copes with its absence.
bool Create(const wchar_t* directory) {
  SHCreateDirectoryExW(nullptr, directory, nullptr);
  return true;
}

}  // namespace

void SetCrashDirectorySourcesForTesting(const CrashDirectorySources* sources) {
  g_sources.store(sources != nullptr ? sources : &kShellSources);
}

bool ResolveCrashDirectory(wchar_t* buffer, std::size_t capacity) {
  const CrashDirectorySources& sources = *g_sources.load();
  if (FormatUnderProfile(sources, buffer, capacity)) {
    return Create(buffer);
  }
  // A capacity beyond what the kernel can take is offered as the most it can take.
  const DWORD kernelCapacity = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
  const DWORD length = sources.getTempPath(kernelCapacity, buffer);
  if (length == 0 || length > capacity) {
    return false;
  }
  AppendBounded(buffer, capacity, kTempSuffix);
  return Create(buffer);
}

bool ResolveUserCrashDirectory(wchar_t* buffer, std::size_t capacity) {
  const CrashDirectorySources& sources = *g_sources.load();
  if (FormatUnderProfile(sources, buffer, capacity)) {
    return Create(buffer);
  }
  return false;
}
