// The registrar the engine gives out for one plugin name: its messenger is a
// handle of its own onto the engine's messenger, its texture registrar and
// view are the engine's, and it remembers the handler to call when the engine
// ends it. Owned by the engine; used on the UI thread.
#ifndef DEVKIT_EMBEDDING_REGISTRAR_H_
#define DEVKIT_EMBEDDING_REGISTRAR_H_

#include <string>

#include "channel/flutter_windows_api.h"
#include "devkit/embedding/handle_registry.h"
#include "devkit/embedding/messenger.h"

namespace devkit {

class Engine;

class Registrar {
 public:
  // Takes over the owner's reference of `messenger`.
  Registrar(Engine* engine, std::string plugin_name, Messenger* messenger)
      : engine_(engine), plugin_name_(std::move(plugin_name)), messenger_(messenger) {}
  ~Registrar() { messenger_->ReleaseOwner(); }
  Registrar(const Registrar&) = delete;
  Registrar& operator=(const Registrar&) = delete;

  FlutterDesktopPluginRegistrarRef handle() const { return handle_.get(); }

  Engine* engine() const { return engine_; }
  Messenger* messenger() const { return messenger_; }
  const std::string& plugin_name() const { return plugin_name_; }

  // Setting it again replaces it; it is called at most once either way.
  void set_destruction_handler(FlutterDesktopOnPluginRegistrarDestroyed handler) {
    destruction_handler_ = handler;
  }
  FlutterDesktopOnPluginRegistrarDestroyed destruction_handler() const {
    return destruction_handler_;
  }

 private:
  Engine* engine_;
  std::string plugin_name_;
  Messenger* messenger_;
  FlutterDesktopOnPluginRegistrarDestroyed destruction_handler_ = nullptr;
  LibraryHandle<FlutterDesktopPluginRegistrarRef> handle_{HandleKind::kRegistrar, this};
};

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_REGISTRAR_H_
