#ifndef CHANNEL_PLUGIN_REGISTRY_H_
#define CHANNEL_PLUGIN_REGISTRY_H_

#include <string>

#include "channel/flutter_windows_api.h"

namespace flutter {

// Hands out the embedding's plugin registrar handle for a plugin name; what
// the host registers its plugins through.
class PluginRegistry {
 public:
  virtual ~PluginRegistry() = default;

  // `plugin_name` is UTF-8. Null when there is no registrar to give.
  virtual FlutterDesktopPluginRegistrarRef GetPluginRegistrar(const std::string& plugin_name) = 0;
};

}  // namespace flutter

#endif  // CHANNEL_PLUGIN_REGISTRY_H_
