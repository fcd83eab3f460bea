#include "audio_plugin/audio_system_calls.h"

// After windows.h (included by the header), whose types they use.
#include <mmsystem.h>
#include <objbase.h>
#include <shellapi.h>

#include "crash/crash_directory.h"

namespace {

void WriteDebugLine(const char* text) { OutputDebugStringA(text); }

}  // namespace

AudioSystemCalls RealAudioSystemCalls() {
  AudioSystemCalls calls{};
  calls.co_initialize_ex = &CoInitializeEx;
  calls.co_uninitialize = &CoUninitialize;
  calls.co_create_instance = &CoCreateInstance;
  calls.write_debug_line = &WriteDebugLine;
  calls.play_sound = &PlaySoundW;
  calls.shell_execute = &ShellExecuteW;
  calls.resolve_user_crash_directory = &ResolveUserCrashDirectory;
  return calls;
}

AudioSystemCalls& ActiveAudioSystemCalls() {
  static AudioSystemCalls calls = RealAudioSystemCalls();
  return calls;
}
