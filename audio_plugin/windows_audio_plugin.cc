// The plugin object and its dispatcher: method routing by exact name and the exception net that
// keeps every failure inside the call it belongs to.

#include "audio_plugin/windows_audio_plugin.h"

#include <exception>

#include "audio_plugin/audio_system_calls.h"
#include "audio_plugin/pending_answer.h"

namespace {

// Logs that a call ended in an exception and answers it with "NATIVE_EXCEPTION" unless it has
// been answered already: through `pending` once the dispatcher has made it, through the call's
// own `result` when making it was what failed. Nothing may escape from here: the dispatcher's
// callers cannot handle it.
void AnswerAfterException(PendingAnswer* pending,
                          std::unique_ptr<WindowsAudioPlugin::MethodResult>& result,
                          const char* log_line, const char* message) noexcept {
  try {
    ActiveAudioSystemCalls().write_debug_line(log_line);
  } catch (...) {
    // The answer matters more than the log line.
  }
  if (pending != nullptr && pending->answered()) return;
  try {
    if (pending != nullptr) {
      pending->Error("NATIVE_EXCEPTION", message, nullptr);
    } else if (result) {
      result->Error("NATIVE_EXCEPTION", message);
    }
  } catch (...) {
    // The result itself cannot answer; the call is lost either way.
  }
}

}  // namespace

WindowsAudioPlugin::WindowsAudioPlugin() = default;

WindowsAudioPlugin::~WindowsAudioPlugin() {
  try {
    StopRingtone();
  } catch (...) {
    // Only taking the playback lock can throw; a destructor must not, and the process is
    // shutting the channel down anyway.
  }
}

void WindowsAudioPlugin::HandleMethodCall(const MethodCall& call,
                                          std::unique_ptr<MethodResult> result) {
  // Handlers own what they are given, but the dispatcher keeps a share of the call's answer so
  // that a handler that throws before answering cannot leave the call waiting for ever. Made
  // inside the net: when making it fails, the call's own result is still here to answer.
  std::shared_ptr<PendingAnswer> pending;
  try {
    pending = std::make_shared<PendingAnswer>(std::move(result));
    const std::string& name = call.GetMethodName();
    if (name == "playRingtone") {
      HandlePlayRingtone(call, PendingAnswer::HandlerResult(pending));
    } else if (name == "stopRingtone") {
      StopRingtone();
      const flutter::EncodableValue stopped(true);
      pending->Success(&stopped);
    } else if (name == "setVolume") {
      HandleSetVolume(call, PendingAnswer::HandlerResult(pending));
    } else if (name == "getSystemAudioDevices") {
      std::unique_ptr<MethodResult> handler_result = PendingAnswer::HandlerResult(pending);
      // Lenient: anything but a map holding the bool "isCapture" asks for playback endpoints.
      bool is_capture = false;
      const flutter::EncodableValue* arguments = call.GetArguments();
      if (const auto* map = arguments ? arguments->TryGet<flutter::EncodableValueMap>() : nullptr) {
        const flutter::EncodableValue* flag = map->Find(flutter::EncodableValue("isCapture"));
        if (const bool* value = flag ? flag->TryGet<bool>() : nullptr) is_capture = *value;
      }
      GetSystemAudioDevices(is_capture, std::move(handler_result));
    } else if (name == "setSystemDefaultAudioDevice") {
      HandleSetSystemDefaultAudioDevice(call, PendingAnswer::HandlerResult(pending));
    } else if (name == "getCrashDumpDirectory") {
      GetCrashDumpDirectory(PendingAnswer::HandlerResult(pending));
    } else if (name == "openCrashDumpDirectory") {
      OpenCrashDumpDirectory(PendingAnswer::HandlerResult(pending));
    } else {
      pending->NotImplemented();
    }
  } catch (const std::exception& exception) {
    AnswerAfterException(pending.get(), result,
                         "[WindowsAudioPlugin] Exception caught in HandleMethodCall",
                         exception.what());
  } catch (...) {
    AnswerAfterException(pending.get(), result,
                         "[WindowsAudioPlugin] Unknown exception caught in HandleMethodCall",
                         "Unknown native exception occurred");
  }
}
