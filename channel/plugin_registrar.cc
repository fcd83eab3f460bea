#include "channel/plugin_registrar.h"

#include <utility>

namespace flutter {

PluginRegistrar::PluginRegistrar(FlutterDesktopPluginRegistrarRef registrar)
    : registrar_(registrar) {
  messenger_ =
      std::make_unique<BinaryMessengerImpl>(FlutterDesktopPluginRegistrarGetMessenger(registrar));
  texture_registrar_ =
      std::make_unique<TextureRegistrarImpl>(FlutterDesktopRegistrarGetTextureRegistrar(registrar));
}

PluginRegistrar::~PluginRegistrar() {
  // Plugins go first, while the messenger their channels are installed on
  // still exists.
  DestroyPlugins();
  messenger_.reset();
  texture_registrar_.reset();
}

void PluginRegistrar::AdoptPlugin(std::unique_ptr<Plugin> plugin) {
  if (plugin) {
    plugins_.insert(std::move(plugin));
  }
}

void PluginRegistrar::DestroyPlugins() {
  // Taken out first so that a plugin's destructor never sees a half-cleared
  // set.
  std::set<std::unique_ptr<Plugin>> plugins;
  plugins.swap(plugins_);
  plugins.clear();
}

}  // namespace flutter
