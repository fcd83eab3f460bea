#include "channel/standard_method_codec.h"

#include <iostream>
#include <map>
#include <mutex>
#include <utility>

#include "channel/byte_buffer_streams.h"

namespace flutter {

namespace {

constexpr uint8_t kSuccessStatus = 0;
constexpr uint8_t kErrorStatus = 1;

// One codec per serializer for the life of the process. Deliberately never
// destroyed: channels may use their codec until the process ends, after
// static destructors have begun.
class CodecRegistry {
 public:
  const StandardMethodCodec& CodecFor(const StandardCodecSerializer* serializer) {
    // Plugins may be registered from more than one thread; the lookup and
    // insertion are cheap enough to do under a lock every time.
    std::lock_guard<std::mutex> lock(mutex_);
    std::unique_ptr<StandardMethodCodec>& codec = codecs_[serializer];
    if (!codec) {
      codec = std::make_unique<StandardMethodCodec>(serializer);
    }
    return *codec;
  }

 private:
  std::mutex mutex_;
  std::map<const StandardCodecSerializer*, std::unique_ptr<StandardMethodCodec>> codecs_;
};

// The value to encode for an optional one, by reference: `p ? *p :
// EncodableValue()` would copy the whole value first. The null is never
// destroyed, like the codecs above, so encoding works until the process ends.
const EncodableValue& ValueOrNull(const EncodableValue* value) {
  static const EncodableValue* const null_value = new EncodableValue();
  return value != nullptr ? *value : *null_value;
}

}  // namespace

const StandardMethodCodec& StandardMethodCodec::SharedInstance(
    const StandardCodecSerializer* serializer) {
  static CodecRegistry* const registry = new CodecRegistry();
  if (serializer == nullptr) {
    serializer = &StandardCodecSerializer::GetInstance();
  }
  return registry->CodecFor(serializer);
}

StandardMethodCodec::StandardMethodCodec(const StandardCodecSerializer* serializer)
    : serializer_(serializer) {}

StandardMethodCodec::~StandardMethodCodec() = default;

std::unique_ptr<MethodCall<EncodableValue>> StandardMethodCodec::DecodeCall(
    const uint8_t* message, size_t message_size) const {
  ByteBufferStreamReader reader(message, message_size);
  const EncodableValue name = serializer_->ReadTaggedValue(&reader);
  const std::string* method_name = name.TryGet<std::string>();
  if (method_name == nullptr) {
    std::cerr << "Invalid method call; method name is not a string." << std::endl;
    return nullptr;
  }
  // Read even when the message ends after the name: the call then has a null
  // arguments value, never none.
  auto arguments = std::make_unique<EncodableValue>(serializer_->ReadTaggedValue(&reader));
  return std::make_unique<MethodCall<EncodableValue>>(*method_name, std::move(arguments));
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeCall(
    const MethodCall<EncodableValue>& call) const {
  auto message = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter writer(message.get());
  serializer_->WriteValue(EncodableValue(call.GetMethodName()), &writer);
  serializer_->WriteValue(ValueOrNull(call.GetArguments()), &writer);
  return message;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeSuccessReply(
    const EncodableValue* result) const {
  auto reply = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter writer(reply.get());
  writer.PutByte(kSuccessStatus);
  serializer_->WriteValue(ValueOrNull(result), &writer);
  return reply;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeErrorReply(
    const std::string& error_code, const std::string& error_message,
    const EncodableValue* error_details) const {
  auto reply = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter writer(reply.get());
  writer.PutByte(kErrorStatus);
  serializer_->WriteValue(EncodableValue(error_code), &writer);
  serializer_->WriteValue(error_message.empty() ? EncodableValue() : EncodableValue(error_message),
                          &writer);
  serializer_->WriteValue(ValueOrNull(error_details), &writer);
  return reply;
}

bool StandardMethodCodec::DecodeReply(const uint8_t* reply, size_t reply_size,
                                      MethodResult<EncodableValue>* result) const {
  ByteBufferStreamReader reader(reply, reply_size);
  const uint8_t status = reader.TakeByte();
  if (status == kSuccessStatus) {
    const EncodableValue value = serializer_->ReadTaggedValue(&reader);
    if (value.IsNull()) {
      result->Success();
    } else {
      result->Success(value);
    }
    return true;
  }
  if (status == kErrorStatus) {
    const EncodableValue code = serializer_->ReadTaggedValue(&reader);
    const EncodableValue message = serializer_->ReadTaggedValue(&reader);
    const EncodableValue details = serializer_->ReadTaggedValue(&reader);
    const std::string* code_text = code.TryGet<std::string>();
    const std::string* message_text = message.TryGet<std::string>();
    if (code_text == nullptr || (message_text == nullptr && !message.IsNull())) {
      // Not an error this side can deliver: it has no text to pass on. The
      // caller sees it like an unknown status.
      std::cerr << "Invalid error reply; error code is not a string or error message is "
                   "neither a string nor null."
                << std::endl;
      return false;
    }
    result->Error(*code_text, message_text != nullptr ? *message_text : std::string(),
                  details.IsNull() ? nullptr : &details);
    return true;
  }
  return false;
}

}  // namespace flutter
