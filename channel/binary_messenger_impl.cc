#include "channel/binary_messenger_impl.h"

#include <memory>
#include <utility>

#include "channel/engine_reply.h"

namespace flutter {
namespace {

// Called by the embedding, on the UI thread, for every message on a channel
// with an installed handler. `user_data` is that channel's table entry.
void ForwardMessage(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
                    void* user_data) {
  // Called through a copy: a handler may clear or replace its own channel
  // while it runs, which destroys the table entry's handler.
  ByteMessageHandler handler = *static_cast<const ByteMessageHandler*>(user_data);
  // The reply takes its own reference on the messenger, so a copy the handler
  // keeps can still answer after this call, and after the engine has gone.
  EngineReply reply(messenger, message->response_handle);
  handler(message->message, message->message_size, ByteReply(std::move(reply)));
}

// Called by the embedding once with the response to a message sent with a
// reply; `user_data` is the heap holder of that reply, used exactly once.
void ForwardReply(const uint8_t* data, size_t data_size, void* user_data) {
  std::unique_ptr<ByteReply> reply(static_cast<ByteReply*>(user_data));
  (*reply)(data, data_size);
}

}  // namespace

BinaryMessengerImpl::BinaryMessengerImpl(FlutterDesktopMessengerRef messenger)
    : messenger_(messenger) {}

BinaryMessengerImpl::~BinaryMessengerImpl() = default;

void BinaryMessengerImpl::Send(const std::string& channel, const uint8_t* message,
                               size_t message_size, ByteReply reply) const {
  if (!reply) {
    FlutterDesktopMessengerSend(messenger_, channel.c_str(), message, message_size);
    return;
  }
  auto holder = std::make_unique<ByteReply>(std::move(reply));
  if (FlutterDesktopMessengerSendWithReply(messenger_, channel.c_str(), message, message_size,
                                           ForwardReply, holder.get())) {
    // The embedding now owns the holder until it calls ForwardReply.
    static_cast<void>(holder.release());
  }
  // Refused: the reply will never be called, so its holder goes now.
}

void BinaryMessengerImpl::SetChannelHandler(const std::string& channel,
                                            ByteMessageHandler handler) {
  if (!handler) {
    handlers_.erase(channel);
    // Unregister even without an entry here: the embedding may still hold a
    // callback for the name from elsewhere.
    FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), nullptr, nullptr);
    return;
  }
  // Replacing in place keeps the entry's address, the context the embedding
  // already holds for this channel.
  ByteMessageHandler& entry = handlers_[channel];
  entry = std::move(handler);
  FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), ForwardMessage, &entry);
}

}  // namespace flutter
