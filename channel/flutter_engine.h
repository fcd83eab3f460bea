#ifndef CHANNEL_FLUTTER_ENGINE_H_
#define CHANNEL_FLUTTER_ENGINE_H_

#include <functional>
#include <memory>
#include <string>

#include "channel/binary_messenger.h"
#include "channel/binary_messenger_impl.h"
#include "channel/flutter_windows_api.h"
#include "channel/plugin_registry.h"
#include "channel/project_settings.h"

namespace flutter {

// Wraps the embedding's engine handle. Created by the view controller, which
// shares it, from the project settings; the embedding's view controller takes
// the handle over and runs the engine, after which this wrapper still hands
// out plugin registrars, reloads fonts, schedules the next-frame callback and
// owns the engine's messenger. Used on the thread that runs the window's
// message loop.
class FlutterEngine : public PluginRegistry {
 public:
  explicit FlutterEngine(const ProjectSettings& project);
  ~FlutterEngine() override;

  FlutterEngine(const FlutterEngine&) = delete;
  FlutterEngine& operator=(const FlutterEngine&) = delete;

  // Null, with a message on the standard error stream, without an engine.
  FlutterDesktopPluginRegistrarRef GetPluginRegistrar(const std::string& plugin_name) override;

  // Null when the engine could not be created.
  BinaryMessenger* GetMessenger() const { return messenger_.get(); }

  // Gives up ownership of the engine handle (to the embedding's view
  // controller) and returns it. The handle stays usable through this wrapper.
  FlutterDesktopEngineRef HandOverEngine();

  void ReloadSystemFonts();

  // Calls `callback` once, after the next frame. Replaces a callback that has
  // not run yet.
  void SetNextFrameCallback(std::function<void()> callback);

 private:
  static void ForwardNextFrame(void* user_data);

  FlutterDesktopEngineRef engine_ = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
  bool owns_engine_ = true;
  std::function<void()> next_frame_callback_;
};

}  // namespace flutter

#endif  // CHANNEL_FLUTTER_ENGINE_H_
