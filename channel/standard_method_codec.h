#ifndef CHANNEL_STANDARD_METHOD_CODEC_H_
#define CHANNEL_STANDARD_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channel/encodable_value.h"
#include "channel/method_codec.h"
#include "channel/standard_codec_serializer.h"

namespace flutter {

// The method codec of the standard message format: a call is its name and
// arguments as two encoded values; a reply is a status byte (0 success,
// 1 error) and encoded values. Stateless apart from its serializer, which it
// does not own; shared instances live until the process ends and may be
// used from any thread.
class StandardMethodCodec : public MethodCodec<EncodableValue> {
 public:
  // The codec for `serializer` (the shared serializer when nullptr); one per
  // serializer for the life of the process.
  static const StandardMethodCodec& SharedInstance(
      const StandardCodecSerializer* serializer = nullptr);

  // `serializer` must outlive the codec.
  explicit StandardMethodCodec(const StandardCodecSerializer* serializer);
  ~StandardMethodCodec() override;

  std::unique_ptr<MethodCall<EncodableValue>> DecodeCall(const uint8_t* message,
                                                         size_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeCall(
      const MethodCall<EncodableValue>& call) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessReply(
      const EncodableValue* result) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorReply(
      const std::string& error_code, const std::string& error_message,
      const EncodableValue* error_details) const override;
  bool DecodeReply(const uint8_t* reply, size_t reply_size,
                   MethodResult<EncodableValue>* result) const override;

 private:
  const StandardCodecSerializer* serializer_;
};

}  // namespace flutter

#endif  // CHANNEL_STANDARD_METHOD_CODEC_H_
