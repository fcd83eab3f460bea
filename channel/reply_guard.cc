#include "channel/reply_guard.h"

#include <iostream>
#include <utility>

namespace flutter {

ReplyGuard::ReplyGuard(ByteReply&& reply) : reply_(std::move(reply)) {
  // A moved-from std::function is only "valid but unspecified".
  reply = nullptr;
}

ReplyGuard::~ReplyGuard() {
  if (reply_) {
    std::cerr << "Warning: Failed to respond to a message. This is a memory leak." << std::endl;
  }
}

void ReplyGuard::SendReply(const std::vector<uint8_t>* buffer) {
  if (!reply_) {
    std::cerr << "Error: Only one of Success, Error, or NotImplemented can be called,"
              << " and it can be called exactly once. Ignoring duplicate result." << std::endl;
    return;
  }
  const uint8_t* bytes = (buffer != nullptr && !buffer->empty()) ? buffer->data() : nullptr;
  const size_t size = buffer != nullptr ? buffer->size() : 0;
  // Emptied before the call, so that an answer given from inside the reply
  // itself counts as a second answer rather than sending twice.
  ByteReply reply = std::move(reply_);
  reply_ = nullptr;
  reply(bytes, size);
}

}  // namespace flutter
