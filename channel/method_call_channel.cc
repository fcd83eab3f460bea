#include "channel/method_call_channel.h"

#include <iostream>
#include <utility>

#include "channel/engine_method_result.h"

namespace flutter {

MethodCallChannel::MethodCallChannel(BinaryMessenger* messenger, const std::string& name,
                                     const MethodCodec<EncodableValue>* codec)
    : messenger_(messenger), name_(name), codec_(codec) {}

void MethodCallChannel::SetCallHandler(CallHandler handler) const {
  if (!handler) {
    messenger_->SetChannelHandler(name_, nullptr);
    return;
  }
  // Copies only: the channel object may be gone before the first message.
  const MethodCodec<EncodableValue>* codec = codec_;
  std::string name = name_;
  messenger_->SetChannelHandler(name_, [handler = std::move(handler), codec, name](
                                           const uint8_t* message, size_t message_size,
                                           ByteReply reply) {
    // Made before decoding, so that every message is answered, a message
    // that is not a call included.
    auto result = std::make_unique<EngineMethodResult>(std::move(reply), codec);
    std::unique_ptr<MethodCall<EncodableValue>> call = codec->DecodeCall(message, message_size);
    if (!call) {
      std::cerr << "Unable to construct method call from message on channel " << name << std::endl;
      result->NotImplemented();
      return;
    }
    handler(*call, std::move(result));
  });
}

}  // namespace flutter
