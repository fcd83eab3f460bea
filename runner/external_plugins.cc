#include "runner/external_plugins.h"

#include "channel/flutter_windows_api.h"
#include "tovan_product_info.h"

// Each plugin library exports exactly one function, entered with the
// registrar handle the engine gives for the plugin's name. The list of
// plugins is the build's one list (cmake/plugins.txt).
#define TOVAN_DECLARE_REGISTRATION(library, function, name) \
  __declspec(dllimport) void function(FlutterDesktopPluginRegistrarRef registrar);
extern "C" {
TOVAN_EXTERNAL_PLUGINS(TOVAN_DECLARE_REGISTRATION)
}
#undef TOVAN_DECLARE_REGISTRATION

namespace {

struct ExternalPlugin {
  const char* name;  // UTF-8, as the engine knows the plugin
  FlutterDesktopPluginRegisterFunction register_with_registrar;
};

// Registered in this order at every window creation; plugins may rely on the
// ones before them, so keep it stable.
#define TOVAN_PLUGIN_ENTRY(library, function, name) {name, &function},
const ExternalPlugin kExternalPlugins[] = {TOVAN_EXTERNAL_PLUGINS(TOVAN_PLUGIN_ENTRY)};
#undef TOVAN_PLUGIN_ENTRY

}  // namespace

void RegisterExternalPlugins(flutter::PluginRegistry* registry) {
  for (const ExternalPlugin& plugin : kExternalPlugins) {
    plugin.register_with_registrar(registry->GetPluginRegistrar(plugin.name));
  }
}
