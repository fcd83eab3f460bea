// libFuzzer target: decoding method calls and reply envelopes of the
// standard method codec from arbitrary bytes. Each input is read both as a
// call and as a reply; what decodes must survive re-encoding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channel/method_result.h"
#include "channel/standard_method_codec.h"
#include "fuzz/fuzz_support.h"

namespace {

// Keeps what DecodeReply delivers, so that it can be encoded again.
class RecordingResult : public flutter::MethodResult<flutter::EncodableValue> {
 public:
  enum class Answer { kNone, kSuccess, kError, kNotImplemented };

  Answer answer = Answer::kNone;
  int answers = 0;
  std::optional<flutter::EncodableValue> value;
  std::string code;
  std::string message;

 protected:
  void HandleSuccess(const flutter::EncodableValue* result) override {
    Record(Answer::kSuccess, result);
  }
  void HandleError(const std::string& error_code, const std::string& error_message,
                   const flutter::EncodableValue* details) override {
    code = error_code;
    message = error_message;
    Record(Answer::kError, details);
  }
  void HandleNotImplemented() override { Record(Answer::kNotImplemented, nullptr); }

 private:
  void Record(Answer kind, const flutter::EncodableValue* delivered) {
    answer = kind;
    ++answers;
    if (delivered != nullptr) value = *delivered;
  }
};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

const flutter::EncodableValue& ValueOr(const std::optional<flutter::EncodableValue>& value) {
  static const flutter::EncodableValue null_value;
  return value ? *value : null_value;
}

void CheckCall(const flutter::StandardMethodCodec& codec, const uint8_t* data, size_t size) {
  const std::unique_ptr<flutter::MethodCall<flutter::EncodableValue>> call =
      codec.DecodeCall(data, size);
  if (call == nullptr) return;
  if (call->GetArguments() == nullptr) Fail("a decoded call has no arguments value");
  const flutter::EncodableValue& arguments = *call->GetArguments();
  if (tovan::fuzz::FormatCannotRoundTrip(arguments)) return;
  const std::unique_ptr<std::vector<uint8_t>> bytes = codec.EncodeCall(*call);
  const std::unique_ptr<flutter::MethodCall<flutter::EncodableValue>> again =
      codec.DecodeCall(bytes->data(), bytes->size());
  if (again == nullptr || again->GetMethodName() != call->GetMethodName()) {
    Fail("re-encoding a call changed its method name");
  }
  tovan::fuzz::CheckSameValue(arguments, *again->GetArguments(), "re-encoding a call");
}

void CheckReply(const flutter::StandardMethodCodec& codec, const uint8_t* data, size_t size) {
  RecordingResult result;
  const bool known = codec.DecodeReply(data, size, &result);
  if (!known) {
    if (result.answers != 0) Fail("a reply that was not understood was delivered");
    return;
  }
  if (result.answers != 1) Fail("a decoded reply was not delivered exactly once");
  const flutter::EncodableValue& value = ValueOr(result.value);
  if (tovan::fuzz::FormatCannotRoundTrip(value)) return;

  std::unique_ptr<std::vector<uint8_t>> bytes;
  if (result.answer == RecordingResult::Answer::kSuccess) {
    bytes = codec.EncodeSuccessReply(result.value ? &*result.value : nullptr);
  } else if (result.answer == RecordingResult::Answer::kError) {
    bytes = codec.EncodeErrorReply(result.code, result.message,
                                   result.value ? &*result.value : nullptr);
  } else {
    Fail("DecodeReply answered not-implemented");
  }
  RecordingResult again;
  if (!codec.DecodeReply(bytes->data(), bytes->size(), &again) || again.answer != result.answer ||
      again.code != result.code || again.message != result.message ||
      again.value.has_value() != result.value.has_value()) {
    Fail("re-encoding a reply changed its kind, code, message or presence of a value");
  }
  tovan::fuzz::CheckSameValue(value, ValueOr(again.value), "re-encoding a reply");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tovan::fuzz::SilenceChannelDiagnostics();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::SharedInstance();
  CheckCall(codec, data, size);
  CheckReply(codec, data, size);
  return 0;
}
