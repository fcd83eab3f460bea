// "getCrashDumpDirectory" and "openCrashDumpDirectory": the per-user crash directory for the user
// interface. Only the profile folders are considered: a temporary directory is no place to send
// the user to.

#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <cstdint>
#include <string>

#include "audio_plugin/audio_system_calls.h"
#include "audio_plugin/text_conversion.h"
#include "audio_plugin/windows_audio_plugin.h"

namespace {

constexpr std::size_t kPathCapacity = 260;

// Resolves (and re-creates) the crash directory into `path`; false when no profile folder gives
// one.
bool ResolveDirectory(wchar_t (&path)[kPathCapacity]) {
  for (wchar_t& unit : path) unit = L'\0';
  return ActiveAudioSystemCalls().resolve_user_crash_directory(path, kPathCapacity);
}

}  // namespace

void WindowsAudioPlugin::GetCrashDumpDirectory(std::unique_ptr<MethodResult> result) {
  wchar_t path[kPathCapacity];
  if (!ResolveDirectory(path)) {
    result->Error("PATH_ERROR", "Failed to determine crash dump directory");
    return;
  }
  result->Success(flutter::EncodableValue(WideToUtf8(std::wstring(path))));
}

void WindowsAudioPlugin::OpenCrashDumpDirectory(std::unique_ptr<MethodResult> result) {
  wchar_t path[kPathCapacity];
  if (!ResolveDirectory(path)) {
    result->Error("PATH_ERROR", "Failed to determine crash dump directory");
    return;
  }
  const HINSTANCE shell_result = ActiveAudioSystemCalls().shell_execute(
      nullptr, L"explore", path, nullptr, nullptr, SW_SHOWNORMAL);
  // The shell answers a value above 32 on success and an error number up to 32 otherwise.
  if (reinterpret_cast<std::intptr_t>(shell_result) > 32) {
    result->Success(flutter::EncodableValue(true));
  } else {
    result->Error("SHELL_ERROR", "Failed to open crash dump directory");
  }
}
