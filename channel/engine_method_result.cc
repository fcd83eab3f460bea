#include "channel/engine_method_result.h"

#include <utility>

namespace flutter {

EngineMethodResult::EngineMethodResult(ByteReply reply, const MethodCodec<EncodableValue>* codec)
    : reply_guard_(std::move(reply)), codec_(codec) {}

EngineMethodResult::~EngineMethodResult() = default;

// The answer is encoded before the guard's once-only check, so a second
// answer costs an encoding before it is refused; the guard alone decides.
void EngineMethodResult::HandleSuccess(const EncodableValue* result) {
  std::unique_ptr<std::vector<uint8_t>> bytes = codec_->EncodeSuccessReply(result);
  reply_guard_.SendReply(bytes.get());
}

void EngineMethodResult::HandleError(const std::string& error_code,
                                     const std::string& error_message,
                                     const EncodableValue* error_details) {
  std::unique_ptr<std::vector<uint8_t>> bytes =
      codec_->EncodeErrorReply(error_code, error_message, error_details);
  reply_guard_.SendReply(bytes.get());
}

// Not implemented is an empty response, which needs no codec.
void EngineMethodResult::HandleNotImplemented() { reply_guard_.SendReply(nullptr); }

}  // namespace flutter
