#ifndef CHANNEL_PLUGIN_H_
#define CHANNEL_PLUGIN_H_

namespace flutter {

// Base of every plugin object a plugin registrar owns. The registrar destroys
// its plugins, through this base, on the thread that runs the window's
// message loop, while their messenger still exists.
class Plugin {
 public:
  virtual ~Plugin() = default;
};

}  // namespace flutter

#endif  // CHANNEL_PLUGIN_H_
