// One engine of the development embedding: what the host asked for at
// creation (paths resolved against the executable's folder, entry point,
// arguments, settings), its messenger, registrars and textures, and, once a
// view controller has taken it over and started it, its view.
//
// Created by FlutterDesktopEngineCreate; owned by the host until a view
// controller takes it over, then by that controller. Used on the UI thread,
// except for the messenger, which is thread-safe.
#ifndef DEVKIT_EMBEDDING_ENGINE_H_
#define DEVKIT_EMBEDDING_ENGINE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channel/flutter_windows_api.h"
#include "devkit/embedding/devkit_options.h"
#include "devkit/embedding/handle_registry.h"
#include "devkit/embedding/messenger.h"
#include "devkit/embedding/registrar.h"
#include "devkit/embedding/texture_table.h"

namespace devkit {

class View;

class Engine {
 public:
  explicit Engine(const FlutterDesktopEngineProperties& properties);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  FlutterDesktopEngineRef handle() const { return handle_.get(); }

  Messenger* messenger() const { return messenger_; }
  UiThread& ui_thread() const { return messenger_->ui_thread(); }
  TextureTable* textures() { return &textures_; }
  View* view() const { return view_.get(); }
  const DevkitOptions& options() const { return options_; }
  const std::vector<std::string>& entrypoint_arguments() const { return arguments_; }

  bool taken_over() const { return taken_over_; }
  void set_taken_over() { taken_over_ = true; }

  // The registrar for `plugin_name`, made on first request; the same one for
  // every later request while the engine lives; null once it has shut down.
  Registrar* RegistrarFor(const std::string& plugin_name);

  // The first missing part of the bundle (flutter_assets, icudtl.dat,
  // app.so), or an empty text when all three are present.
  std::wstring MissingBundlePart() const;

  // Starts the engine with a view of the given size; the view's first frame
  // follows from the message loop.
  void Run(int width, int height);

  // Stored until the frame after the next one that the view presents; a
  // later call replaces an earlier callback that has not run yet.
  void SetNextFrameCallback(FlutterDesktopOnNextFrame callback, void* user_data);
  // Called by the view on the UI thread after it has presented a frame.
  void RunNextFrameCallback();

  void ReloadSystemFonts();

  // Ends the engine: the messenger becomes unavailable, each registrar's
  // destruction handler runs once (in order of creation), then the view goes.
  // Idempotent.
  void Shutdown();

 private:
  std::wstring assets_path_;
  std::wstring icu_data_path_;
  std::wstring aot_library_path_;
  std::string entrypoint_;
  std::vector<std::string> arguments_;
  int32_t settings_[4] = {};
  DevkitOptions options_;

  Messenger* messenger_;  // one reference, given back in the destructor
  TextureTable textures_;
  std::vector<std::unique_ptr<Registrar>> registrars_;
  std::unique_ptr<View> view_;
  FlutterDesktopOnNextFrame next_frame_callback_ = nullptr;
  void* next_frame_user_data_ = nullptr;
  bool taken_over_ = false;
  bool shut_down_ = false;
  LibraryHandle<FlutterDesktopEngineRef> handle_{HandleKind::kEngine, this};
};

// Owns a running engine and stands for it and its view.
class ViewController {
 public:
  explicit ViewController(std::unique_ptr<Engine> engine) : engine_(std::move(engine)) {}

  FlutterDesktopViewControllerRef handle() const { return handle_.get(); }

  Engine* engine() const { return engine_.get(); }

 private:
  std::unique_ptr<Engine> engine_;
  LibraryHandle<FlutterDesktopViewControllerRef> handle_{HandleKind::kController, this};
};

// Relative bundle paths are taken from the executable's folder, as the host
// passes them ("data\flutter_assets").
std::wstring ResolveAgainstExecutableFolder(const std::wstring& path);

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_ENGINE_H_
