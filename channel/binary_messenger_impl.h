#ifndef CHANNEL_BINARY_MESSENGER_IMPL_H_
#define CHANNEL_BINARY_MESSENGER_IMPL_H_

#include <map>
#include <string>

#include "channel/binary_messenger.h"
#include "channel/flutter_windows_api.h"

namespace flutter {

// BinaryMessenger over one of the embedding's messenger handles. Owned by
// the engine wrapper or by a plugin registrar wrapper; used on the thread that
// runs the window's message loop, which is also where the embedding delivers
// messages.
//
// Each channel's handler lives in a node of the handler table, whose address
// stays put while the entry exists; that address is the context the embedding
// hands back with every message of the channel. Destroying the messenger does
// not unregister its channels: its owner destroys it only once the embedding
// can no longer deliver on them.
class BinaryMessengerImpl : public BinaryMessenger {
 public:
  explicit BinaryMessengerImpl(FlutterDesktopMessengerRef messenger);
  ~BinaryMessengerImpl() override;

  BinaryMessengerImpl(const BinaryMessengerImpl&) = delete;
  BinaryMessengerImpl& operator=(const BinaryMessengerImpl&) = delete;

  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            ByteReply reply = nullptr) const override;
  void SetChannelHandler(const std::string& channel, ByteMessageHandler handler) override;

 private:
  FlutterDesktopMessengerRef messenger_;
  // Ordered byte-wise by channel name; node-based so entries never move.
  std::map<std::string, ByteMessageHandler> handlers_;
};

}  // namespace flutter

#endif  // CHANNEL_BINARY_MESSENGER_IMPL_H_
