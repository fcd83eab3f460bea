#ifndef CHANNEL_PLUGIN_REGISTRAR_H_
#define CHANNEL_PLUGIN_REGISTRAR_H_

#include <memory>
#include <set>

#include "channel/binary_messenger.h"
#include "channel/binary_messenger_impl.h"
#include "channel/flutter_windows_api.h"
#include "channel/plugin.h"
#include "channel/texture_registrar.h"

namespace flutter {

// Wraps one of the embedding's plugin registrar handles: gives a plugin the
// registrar's messenger and texture registrar and owns the plugin objects.
// Created and destroyed on the thread that runs the window's message loop;
// destroying it makes no library call.
class PluginRegistrar {
 public:
  explicit PluginRegistrar(FlutterDesktopPluginRegistrarRef registrar);
  virtual ~PluginRegistrar();

  PluginRegistrar(const PluginRegistrar&) = delete;
  PluginRegistrar& operator=(const PluginRegistrar&) = delete;

  BinaryMessenger* GetMessenger() const { return messenger_.get(); }
  TextureRegistrar* GetTextureRegistrar() const { return texture_registrar_.get(); }

  // Takes ownership of `plugin` for the registrar's lifetime.
  void AdoptPlugin(std::unique_ptr<Plugin> plugin);

  // Destroys every owned plugin.
  void DestroyPlugins();

 protected:
  FlutterDesktopPluginRegistrarRef registrar() const { return registrar_; }

 private:
  FlutterDesktopPluginRegistrarRef registrar_;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
  std::unique_ptr<TextureRegistrarImpl> texture_registrar_;
  std::set<std::unique_ptr<Plugin>> plugins_;
};

}  // namespace flutter

#endif  // CHANNEL_PLUGIN_REGISTRAR_H_
