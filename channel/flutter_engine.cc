#include "channel/flutter_engine.h"

#include <iostream>
#include <utility>
#include <vector>

namespace flutter {

FlutterEngine::FlutterEngine(const ProjectSettings& project) {
  FlutterDesktopEngineProperties properties = {};
  properties.assets_path = project.assets_path.c_str();
  properties.icu_data_path = project.icu_data_path.c_str();
  properties.aot_library_path = project.aot_library_path.c_str();
  // An empty name still goes as an empty text, never as null.
  properties.entrypoint = project.entrypoint.c_str();
  for (size_t i = 0; i < project.engine_settings.size(); ++i) {
    properties.engine_settings[i] = project.engine_settings[i];
  }
  // Only for the call: the texts belong to the settings.
  std::vector<const char*> arguments;
  arguments.reserve(project.entrypoint_arguments.size());
  for (const std::string& argument : project.entrypoint_arguments) {
    arguments.push_back(argument.c_str());
  }
  properties.entrypoint_argc = static_cast<int32_t>(arguments.size());
  properties.entrypoint_argv = arguments.empty() ? nullptr : arguments.data();

  engine_ = FlutterDesktopEngineCreate(&properties);
  // Without an engine there is no messenger: a wrapper over a null handle
  // would pass that handle to the library on every use.
  if (engine_ != nullptr) {
    messenger_ = std::make_unique<BinaryMessengerImpl>(FlutterDesktopEngineGetMessenger(engine_));
  }
}

FlutterEngine::~FlutterEngine() {
  // After a hand-over the engine ends with the embedding's view controller.
  if (engine_ != nullptr && owns_engine_) {
    FlutterDesktopEngineDestroy(engine_);
  }
  engine_ = nullptr;
  next_frame_callback_ = nullptr;
  messenger_.reset();
}

FlutterDesktopPluginRegistrarRef FlutterEngine::GetPluginRegistrar(const std::string& plugin_name) {
  if (engine_ == nullptr) {
    std::cerr << "Cannot get plugin registrar on an engine that isn't running; call Run first."
              << std::endl;
    return nullptr;
  }
  return FlutterDesktopEngineGetPluginRegistrar(engine_, plugin_name.c_str());
}

FlutterDesktopEngineRef FlutterEngine::HandOverEngine() {
  owns_engine_ = false;
  return engine_;
}

void FlutterEngine::ReloadSystemFonts() {
  if (engine_ != nullptr) {
    FlutterDesktopEngineReloadSystemFonts(engine_);
  }
}

void FlutterEngine::SetNextFrameCallback(std::function<void()> callback) {
  next_frame_callback_ = std::move(callback);
  if (engine_ != nullptr) {
    FlutterDesktopEngineSetNextFrameCallback(engine_, ForwardNextFrame, this);
  }
}

void FlutterEngine::ForwardNextFrame(void* user_data) {
  auto* engine = static_cast<FlutterEngine*>(user_data);
  // Taken out before it runs: the callback may set a new one, which must
  // survive, and a repeated notification finds nothing to run.
  std::function<void()> callback = std::move(engine->next_frame_callback_);
  engine->next_frame_callback_ = nullptr;
  if (callback) {
    callback();
  }
}

}  // namespace flutter
