#ifndef CHANNEL_PLUGIN_REGISTRAR_WINDOWS_H_
#define CHANNEL_PLUGIN_REGISTRAR_WINDOWS_H_

#include <memory>

#include "channel/flutter_view.h"
#include "channel/flutter_windows_api.h"
#include "channel/plugin_registrar.h"

namespace flutter {

// The plugin registrar wrapper a Windows plugin registers with: the base
// registrar plus the view the plugin's engine draws into, when there is one.
// Kept by RegistrarCache; used on the thread that runs the window's message
// loop.
class PluginRegistrarWindows : public PluginRegistrar {
 public:
  explicit PluginRegistrarWindows(FlutterDesktopPluginRegistrarRef registrar)
      : PluginRegistrar(registrar) {
    if (FlutterDesktopViewRef view = FlutterDesktopPluginRegistrarGetView(registrar)) {
      view_ = std::make_unique<FlutterView>(view);
    }
  }

  ~PluginRegistrarWindows() override {
    // Plugins may still use the view while they shut down.
    DestroyPlugins();
    view_.reset();
  }

  // Null when the registrar has no view.
  FlutterView* GetView() const { return view_.get(); }

 private:
  std::unique_ptr<FlutterView> view_;
};

}  // namespace flutter

#endif  // CHANNEL_PLUGIN_REGISTRAR_WINDOWS_H_
