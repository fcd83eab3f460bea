#ifndef CHANNEL_METHOD_CODEC_H_
#define CHANNEL_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channel/method_call.h"
#include "channel/method_result.h"

namespace flutter {

// Turns method calls and their replies into bytes and back for a method
// channel. Codecs are stateless and shared: any thread may use one at once.
template <typename T>
class MethodCodec {
 public:
  MethodCodec() = default;
  MethodCodec(const MethodCodec&) = delete;
  MethodCodec& operator=(const MethodCodec&) = delete;
  virtual ~MethodCodec() = default;

  // The call in `message`, or nullptr when it is not a method call.
  virtual std::unique_ptr<MethodCall<T>> DecodeCall(const uint8_t* message,
                                                    size_t message_size) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeCall(const MethodCall<T>& call) const = 0;
  // `result` may be nullptr: success without a value.
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeSuccessReply(const T* result) const = 0;
  // `error_details` may be nullptr.
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeErrorReply(const std::string& error_code,
                                                                 const std::string& error_message,
                                                                 const T* error_details) const = 0;
  // Delivers the reply in `reply` to `result`; false (and `result` untouched)
  // when the reply is not one this codec understands.
  virtual bool DecodeReply(const uint8_t* reply, size_t reply_size,
                           MethodResult<T>* result) const = 0;
};

}  // namespace flutter

#endif  // CHANNEL_METHOD_CODEC_H_
