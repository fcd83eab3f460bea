#ifndef CHANNEL_ENGINE_METHOD_RESULT_H_
#define CHANNEL_ENGINE_METHOD_RESULT_H_

#include <string>

#include "channel/encodable_value.h"
#include "channel/method_codec.h"
#include "channel/method_result.h"
#include "channel/reply_guard.h"

namespace flutter {

// The MethodResult a method channel hands to its call handler: encodes the
// answer with the channel's codec and sends it once through the message's
// reply. Owned by whoever holds it last; answered from one thread at a time.
// Destroyed unanswered, it warns that the caller will never hear back.
class EngineMethodResult : public MethodResult<EncodableValue> {
 public:
  // `codec` is shared and outlives the result.
  EngineMethodResult(ByteReply reply, const MethodCodec<EncodableValue>* codec);
  ~EngineMethodResult() override;

 protected:
  void HandleSuccess(const EncodableValue* result) override;
  void HandleError(const std::string& error_code, const std::string& error_message,
                   const EncodableValue* error_details) override;
  void HandleNotImplemented() override;

 private:
  ReplyGuard reply_guard_;
  const MethodCodec<EncodableValue>* codec_;
};

}  // namespace flutter

#endif  // CHANNEL_ENGINE_METHOD_RESULT_H_
