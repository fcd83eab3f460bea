#ifndef CHANNEL_BINARY_MESSENGER_H_
#define CHANNEL_BINARY_MESSENGER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "channel/reply_guard.h"

namespace flutter {

// Handles one incoming message on a channel. The reply answers it; the
// handler may call it at once or keep it and call it later, from any thread.
using ByteMessageHandler =
    std::function<void(const uint8_t* message, size_t message_size, ByteReply reply)>;

// Sends bytes on named channels and installs one handler per channel. The
// engine wrapper and every plugin registrar wrapper own one; it is used on
// the thread that runs the window's message loop.
class BinaryMessenger {
 public:
  virtual ~BinaryMessenger() = default;

  // Sends a message on `channel`. An empty `reply` sends without asking for a
  // response; otherwise `reply` is called once with the response, unless the
  // embedding refuses the message.
  virtual void Send(const std::string& channel, const uint8_t* message, size_t message_size,
                    ByteReply reply = nullptr) const = 0;

  // Installs `handler` for `channel`, replacing an earlier one; an empty
  // handler stops serving the channel.
  virtual void SetChannelHandler(const std::string& channel, ByteMessageHandler handler) = 0;
};

}  // namespace flutter

#endif  // CHANNEL_BINARY_MESSENGER_H_
