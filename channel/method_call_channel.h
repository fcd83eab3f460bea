#ifndef CHANNEL_METHOD_CALL_CHANNEL_H_
#define CHANNEL_METHOD_CALL_CHANNEL_H_

#include <functional>
#include <memory>
#include <string>

#include "channel/binary_messenger.h"
#include "channel/encodable_value.h"
#include "channel/method_call.h"
#include "channel/method_codec.h"
#include "channel/method_result.h"

namespace flutter {

// Handles one method call. The result is the handler's to answer, at once or
// later, exactly once.
using CallHandler = std::function<void(const MethodCall<EncodableValue>& call,
                                       std::unique_ptr<MethodResult<EncodableValue>> result)>;

// Serves method calls from the Flutter side on one named channel: decodes
// each message with a method codec and hands the call and its result to a
// CallHandler. The handler it installs carries its own copies of everything it
// needs, so this object may be destroyed as soon as SetCallHandler returns.
// Used on the thread that runs the window's message loop.
class MethodCallChannel {
 public:
  // `messenger` and `codec` must outlive the installed handler; `name` is
  // UTF-8, such as "com.brenmo.tovan/windows_audio".
  MethodCallChannel(BinaryMessenger* messenger, const std::string& name,
                    const MethodCodec<EncodableValue>* codec);

  MethodCallChannel(const MethodCallChannel&) = delete;
  MethodCallChannel& operator=(const MethodCallChannel&) = delete;

  // Installs `handler` on the messenger for this channel; an empty handler
  // stops serving it.
  void SetCallHandler(CallHandler handler) const;

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec<EncodableValue>* codec_;
};

}  // namespace flutter

#endif  // CHANNEL_METHOD_CALL_CHANNEL_H_
