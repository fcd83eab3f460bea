// Ringtone playback and volume: the "playRingtone" and "setVolume" handlers and the operations
// that start and stop the looping ringtone through the platform's simple sound player.

#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include "audio_plugin/argument_rules.h"
#include "audio_plugin/audio_system_calls.h"
#include "audio_plugin/text_conversion.h"
#include "audio_plugin/windows_audio_plugin.h"
#include "crash/crash_diagnostics.h"

namespace {

// The one alias under which the ringtone table records the playing file.
constexpr char kRingtoneAlias[] = "tovan_ringtone";

// Play in the background, in a loop, from a file, and never fall back to the system's default
// sound when the file cannot be played.
constexpr DWORD kLoopingFileFlags = SND_ASYNC | SND_NODEFAULT | SND_LOOP | SND_FILENAME;
static_assert(kLoopingFileFlags == 0x0002000B, "the sound player's flag values");

}  // namespace

void WindowsAudioPlugin::HandlePlayRingtone(const MethodCall& call,
                                            std::unique_ptr<MethodResult> result) {
  const flutter::EncodableValueMap* arguments = GetArgumentMap(call, *result);
  if (arguments == nullptr) return;
  std::string file_path;
  if (!GetStringArgument(*arguments, "filePath", file_path, *result)) return;
  if (PlayRingtoneFile(file_path)) {
    result->Success(flutter::EncodableValue(true));
  } else {
    result->Error("PLAY_FAILED", "Failed to start native MCI playback");
  }
}

bool WindowsAudioPlugin::PlayRingtoneFile(const std::string& file_path) {
  CrashDiagnostics::RecordAudioOp(AudioOp::kRingtoneStarted);
  std::lock_guard<std::mutex> lock(playback_lock_);
  const std::wstring wide_path = Utf8ToWide(file_path);
  if (wide_path.empty()) return false;
  // The sound player opens the file on a worker thread and answers success before it has, so a
  // path that cannot be a sound file is refused here, where the caller can still be told.
  const DWORD attributes = GetFileAttributesW(wide_path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ActiveAudioSystemCalls().write_debug_line(
        "[WindowsAudioPlugin] Ringtone file missing or invalid");
    return false;
  }
  // No stop first: starting a sound replaces whatever the process was playing.
  if (!ActiveAudioSystemCalls().play_sound(wide_path.c_str(), nullptr, kLoopingFileFlags)) {
    return false;
  }
  ringtones_[kRingtoneAlias] = file_path;
  return true;
}

void WindowsAudioPlugin::StopRingtone() {
  CrashDiagnostics::RecordAudioOp(AudioOp::kRingtoneStopped);
  std::lock_guard<std::mutex> lock(playback_lock_);
  ringtones_.clear();
  // A null sound stops every sound of the process; there is nothing to report if none played.
  ActiveAudioSystemCalls().play_sound(nullptr, nullptr, 0);
}

std::map<std::string, std::string> WindowsAudioPlugin::RingtoneTable() const {
  std::lock_guard<std::mutex> lock(playback_lock_);
  return ringtones_;
}

void WindowsAudioPlugin::HandleSetVolume(const MethodCall& call,
                                         std::unique_ptr<MethodResult> result) {
  const flutter::EncodableValueMap* arguments = GetArgumentMap(call, *result);
  if (arguments == nullptr) return;
  double volume = 0.0;
  if (!GetNumberArgument(*arguments, "volume", volume, *result)) return;
  // The ringtone plays at the level the system gives it: the value is accepted, whatever it is,
  // so that the user interface's volume control never fails, and otherwise not used.
  CrashDiagnostics::RecordAudioOp(AudioOp::kVolumeSet);
  result->Success(flutter::EncodableValue(true));
}
