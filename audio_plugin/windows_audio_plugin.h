#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "channel/encodable_value.h"
#include "channel/method_call.h"
#include "channel/method_result.h"
#include "channel/plugin.h"

namespace flutter {
class PluginRegistrarWindows;
}

// The executable's own plugin: answers the user interface's calls on the channel
// "com.brenmo.tovan/windows_audio" (ringtone, volume, audio endpoints, default endpoint, crash
// dump directory). Owned by the plugin registrar it was registered with, which destroys it while
// the messenger still exists. Every call runs on the thread that runs the message loop; the
// playback lock only guards the ringtone table and the sound player's calls.
class WindowsAudioPlugin : public flutter::Plugin {
 public:
  using MethodCall = flutter::MethodCall<flutter::EncodableValue>;
  using MethodResult = flutter::MethodResult<flutter::EncodableValue>;

  // Opens the audio channel on the registrar's messenger and gives the registrar a new plugin.
  // Does nothing without a registrar.
  static void RegisterWithRegistrar(flutter::PluginRegistrarWindows* registrar);

  WindowsAudioPlugin();
  // Stops any ringtone.
  ~WindowsAudioPlugin() override;

  WindowsAudioPlugin(const WindowsAudioPlugin&) = delete;
  WindowsAudioPlugin& operator=(const WindowsAudioPlugin&) = delete;

  // Routes one call by its exact method name and answers it exactly once; no exception leaves.
  void HandleMethodCall(const MethodCall& call, std::unique_ptr<MethodResult> result);

  // Starts `file_path` (UTF-8) playing asynchronously in a loop, replacing whatever sound the
  // process plays. False, with nothing changed, when the file is missing, is a directory, or the
  // sound player refuses it.
  bool PlayRingtoneFile(const std::string& file_path);
  // Stops any sound the process plays and forgets the ringtone.
  void StopRingtone();

  // A copy of the ringtone table (sound alias to UTF-8 file path): empty while idle, one entry
  // naming the file of the playback last started while a ringtone plays.
  std::map<std::string, std::string> RingtoneTable() const;

 private:
  void HandlePlayRingtone(const MethodCall& call, std::unique_ptr<MethodResult> result);
  void HandleSetVolume(const MethodCall& call, std::unique_ptr<MethodResult> result);
  void GetSystemAudioDevices(bool is_capture, std::unique_ptr<MethodResult> result);
  void HandleSetSystemDefaultAudioDevice(const MethodCall& call,
                                         std::unique_ptr<MethodResult> result);
  void GetCrashDumpDirectory(std::unique_ptr<MethodResult> result);
  void OpenCrashDumpDirectory(std::unique_ptr<MethodResult> result);

  std::map<std::string, std::string> ringtones_;
  mutable std::mutex playback_lock_;
};
