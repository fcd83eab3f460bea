#include "runner/external_plugins.h"

#include "channel/flutter_windows_api.h"

// Each plugin library exports exactly one function, entered with the
// registrar handle the engine gives for the plugin's name.
extern "C" {
__declspec(dllimport) void ConnectivityPlusWindowsPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
__declspec(dllimport) void FileSelectorWindowsRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
__declspec(dllimport) void FlutterWebRTCPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
__declspec(dllimport) void PermissionHandlerWindowsPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
__declspec(dllimport) void ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
__declspec(dllimport) void SharePlusWindowsPluginCApiRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
__declspec(dllimport) void TrayManagerPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
__declspec(dllimport) void UrlLauncherWindowsRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
__declspec(dllimport) void WindowManagerPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
}

namespace {

struct ExternalPlugin {
  const char* name;  // UTF-8, as the engine knows the plugin
  FlutterDesktopPluginRegisterFunction register_with_registrar;
};

// Registered in this order at every window creation; plugins may rely on the
// ones before them, so keep it stable.
const ExternalPlugin kExternalPlugins[] = {
    {"ConnectivityPlusWindowsPlugin", &ConnectivityPlusWindowsPluginRegisterWithRegistrar},
    {"FileSelectorWindows", &FileSelectorWindowsRegisterWithRegistrar},
    {"FlutterWebRTCPlugin", &FlutterWebRTCPluginRegisterWithRegistrar},
    {"PermissionHandlerWindowsPlugin", &PermissionHandlerWindowsPluginRegisterWithRegistrar},
    {"ScreenRetrieverWindowsPluginCApi", &ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar},
    {"SharePlusWindowsPluginCApi", &SharePlusWindowsPluginCApiRegisterWithRegistrar},
    {"TrayManagerPlugin", &TrayManagerPluginRegisterWithRegistrar},
    {"UrlLauncherWindows", &UrlLauncherWindowsRegisterWithRegistrar},
    {"WindowManagerPlugin", &WindowManagerPluginRegisterWithRegistrar},
};

}  // namespace

void RegisterExternalPlugins(flutter::PluginRegistry* registry) {
  for (const ExternalPlugin& plugin : kExternalPlugins) {
    plugin.register_with_registrar(registry->GetPluginRegistrar(plugin.name));
  }
}
