// Connects the plugin to the user interface: its method channel on the registrar's messenger,
// served by the plugin's dispatcher, and the plugin given to the registrar to own.

#include <memory>

#include "audio_plugin/windows_audio_plugin.h"
#include "channel/method_call_channel.h"
#include "channel/plugin_registrar_windows.h"
#include "channel/standard_method_codec.h"

namespace {

constexpr char kChannelName[] = "com.brenmo.tovan/windows_audio";

}  // namespace

void WindowsAudioPlugin::RegisterWithRegistrar(flutter::PluginRegistrarWindows* registrar) {
  // No registrar (an engine that never ran): there is no messenger to serve the channel on.
  if (registrar == nullptr) return;
  const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::SharedInstance();
  // The channel object is only needed to install the handler; the messenger keeps the handler.
  const flutter::MethodCallChannel channel(registrar->GetMessenger(), kChannelName, &codec);
  auto plugin = std::make_unique<WindowsAudioPlugin>();
  // The registrar destroys its plugins before its messenger, and nothing delivers messages
  // meanwhile, so the handler never outlives the plugin it points to.
  WindowsAudioPlugin* plugin_pointer = plugin.get();
  channel.SetCallHandler(
      [plugin_pointer](const MethodCall& call, std::unique_ptr<MethodResult> result) {
        plugin_pointer->HandleMethodCall(call, std::move(result));
      });
  registrar->AdoptPlugin(std::move(plugin));
}
