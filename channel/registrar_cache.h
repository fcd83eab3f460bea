#ifndef CHANNEL_REGISTRAR_CACHE_H_
#define CHANNEL_REGISTRAR_CACHE_H_

#include "channel/flutter_windows_api.h"
#include "channel/plugin_registrar_windows.h"

namespace flutter {

// Keeps one PluginRegistrarWindows per embedding registrar handle, for as
// long as the embedding keeps that registrar, so that every plugin asking for
// the same handle shares one wrapper and the wrapper's plugins live exactly as
// long as the registrar. Process-wide: the table is created on first use and
// never destroyed. Used on the thread that runs the window's message loop.
class RegistrarCache {
 public:
  RegistrarCache() = delete;

  // Returns the wrapper for `registrar`, building it on first request; the
  // cache keeps ownership. A null handle (no running engine) gives null and
  // touches neither the table nor the library.
  static PluginRegistrarWindows* RegistrarFor(FlutterDesktopPluginRegistrarRef registrar);

  // The destruction handler handed to the embedding: drops the handle's
  // wrapper, destroying its plugins. Unknown handles change nothing.
  static void ForgetRegistrar(FlutterDesktopPluginRegistrarRef registrar);
};

}  // namespace flutter

#endif  // CHANNEL_REGISTRAR_CACHE_H_
