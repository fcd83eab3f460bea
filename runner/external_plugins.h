#pragma once

// Registration of the nine plugins that live in their own libraries. Called
// by FlutterWindow when it creates its content, on the user-interface thread.

#include "channel/plugin_registry.h"

// Asks registry for each plugin's registrar handle and passes it to the
// plugin library's registration function, in a fixed order. A null handle is
// passed on as it is.
void RegisterExternalPlugins(flutter::PluginRegistry* registry);
