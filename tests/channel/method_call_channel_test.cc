// MethodCallChannel and EngineMethodResult over a real messenger and the
// standard method codec, against the fake embedding: the bytes that go back
// for each way a handler answers, and the diagnostics.
#include "channel/method_call_channel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channel/binary_messenger_impl.h"
#include "channel/encodable_value.h"
#include "channel/standard_method_codec.h"
#include "tests/channel/fake_embedding.h"

namespace {

using flutter::EncodableValue;
using flutter::EncodableValueMap;
using flutter::MethodCall;
using flutter::MethodResult;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kChannel[] = "com.brenmo.tovan/windows_audio";
constexpr char kLeakWarning[] = "Warning: Failed to respond to a message. This is a memory leak.\n";
constexpr char kDuplicateResult[] =
    "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
    "exactly once. Ignoring duplicate result.\n";

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// "stopRingtone" with null arguments.
std::vector<uint8_t> StopRingtoneCall() {
  std::vector<uint8_t> bytes = {0x07, 0x0c};
  for (uint8_t byte : Bytes("stopRingtone")) bytes.push_back(byte);
  bytes.push_back(0x00);
  return bytes;
}

using Result = std::unique_ptr<MethodResult<EncodableValue>>;

class MethodCallChannelTest : public ::testing::Test {
 protected:
  MethodCallChannelTest() : fake_(fake_embedding::Reset()), messenger_(fake_.engine_messenger()) {}

  // Installs `handler` through a channel object that is gone before any
  // message arrives, as the audio plugin's registration does.
  void Install(flutter::CallHandler handler) {
    flutter::MethodCallChannel channel(&messenger_, kChannel,
                                       &flutter::StandardMethodCodec::SharedInstance());
    channel.SetCallHandler(std::move(handler));
  }

  // Delivers `message` and returns what went back for it, if anything.
  std::optional<fake_embedding::Response> Deliver(const std::vector<uint8_t>& message) {
    const FlutterDesktopMessageResponseHandle* handle =
        fake_.Deliver(fake_.engine_messenger(), kChannel, message);
    EXPECT_NE(handle, nullptr) << "no callback installed for the channel";
    return fake_.ResponseFor(handle);
  }

  fake_embedding::Fake& fake_;
  flutter::BinaryMessengerImpl messenger_;
};

TEST_F(MethodCallChannelTest, HandlerAnsweringAtOnceSendsTheEncodedAnswer) {
  struct Case {
    const char* name;
    std::function<void(MethodResult<EncodableValue>&)> answer;
    std::vector<uint8_t> expected;
    bool expect_null_data;
  };
  const std::vector<Case> cases = {
      {"success true", [](auto& r) { r.Success(EncodableValue(true)); }, {0x00, 0x01}, false},
      {"success without value", [](auto& r) { r.Success(); }, {0x00, 0x00}, false},
      {"error X with empty message",
       [](auto& r) { r.Error("X", ""); },
       {0x01, 0x07, 0x01, 0x58, 0x00, 0x00},
       false},
      {"not implemented", [](auto& r) { r.NotImplemented(); }, {}, true},
  };
  for (const Case& test_case : cases) {
    fake_embedding::Reset();
    flutter::BinaryMessengerImpl messenger(fake_embedding::Get().engine_messenger());
    flutter::MethodCallChannel channel(&messenger, kChannel,
                                       &flutter::StandardMethodCodec::SharedInstance());
    channel.SetCallHandler(
        [&](const MethodCall<EncodableValue>&, Result result) { test_case.answer(*result); });
    ::testing::internal::CaptureStderr();
    const FlutterDesktopMessageResponseHandle* handle = fake_embedding::Get().Deliver(
        fake_embedding::Get().engine_messenger(), kChannel, StopRingtoneCall());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << test_case.name;
    std::optional<fake_embedding::Response> response = fake_embedding::Get().ResponseFor(handle);
    ASSERT_TRUE(response.has_value()) << test_case.name;
    EXPECT_EQ(response->bytes, test_case.expected) << test_case.name;
    EXPECT_EQ(response->data_was_null, test_case.expect_null_data) << test_case.name;
  }
}

TEST_F(MethodCallChannelTest, HandlerReceivesTheDecodedCall) {
  std::string method;
  std::optional<double> volume;
  Install([&](const MethodCall<EncodableValue>& call, Result result) {
    method = call.GetMethodName();
    const auto* arguments = call.GetArguments()->TryGet<EncodableValueMap>();
    if (arguments != nullptr) {
      if (const EncodableValue* value = arguments->Find(EncodableValue("volume"))) {
        volume = value->Get<double>();
      }
    }
    result->Success(EncodableValue(true));
  });
  // "setVolume" with {"volume": 0.5}; the double is padded to a multiple of 8
  // from the message's first byte.
  std::vector<uint8_t> message = {0x07, 0x09};
  for (uint8_t byte : Bytes("setVolume")) message.push_back(byte);
  message.insert(message.end(), {0x0d, 0x01, 0x07, 0x06});
  for (uint8_t byte : Bytes("volume")) message.push_back(byte);
  message.push_back(0x06);
  while (message.size() % 8 != 0) message.push_back(0x00);
  message.insert(message.end(), {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xe0, 0x3f});

  std::optional<fake_embedding::Response> response = Deliver(message);

  EXPECT_EQ(method, "setVolume");
  EXPECT_EQ(volume, 0.5);
  ASSERT_TRUE(response.has_value());
  EXPECT_EQ(response->bytes, std::vector<uint8_t>({0x00, 0x01}));
}

TEST_F(MethodCallChannelTest, UndecodableMessageGetsAnEmptyResponseWithoutTheHandler) {
  bool handler_called = false;
  Install([&](const MethodCall<EncodableValue>&, Result result) {
    handler_called = true;
    result->Success();
  });
  ::testing::internal::CaptureStderr();
  // An int32 where the method name belongs.
  std::optional<fake_embedding::Response> response = Deliver({0x03, 0x05, 0x00, 0x00, 0x00});
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Invalid method call; method name is not a string.\n"
            "Unable to construct method call from message on channel "
            "com.brenmo.tovan/windows_audio\n");
  EXPECT_FALSE(handler_called);
  ASSERT_TRUE(response.has_value());
  EXPECT_TRUE(response->data_was_null);
  EXPECT_THAT(response->bytes, IsEmpty());
}

TEST_F(MethodCallChannelTest, KeptResultAnswersLaterAndPrintsNothingAtReturn) {
  Result kept;
  Install([&](const MethodCall<EncodableValue>&, Result result) { kept = std::move(result); });

  ::testing::internal::CaptureStderr();
  std::optional<fake_embedding::Response> response = Deliver(StopRingtoneCall());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(response.has_value());

  // Answered and dropped later, as a handler finishing work elsewhere would.
  ::testing::internal::CaptureStderr();
  kept->Error("INVALID_ARGUMENT", "Expected a map of arguments");
  kept.reset();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ASSERT_EQ(fake_.responses().size(), 1u);
  std::vector<uint8_t> expected = {0x01, 0x07, 0x10};
  for (uint8_t byte : Bytes("INVALID_ARGUMENT")) expected.push_back(byte);
  expected.insert(expected.end(), {0x07, 0x1b});
  for (uint8_t byte : Bytes("Expected a map of arguments")) expected.push_back(byte);
  expected.push_back(0x00);
  EXPECT_EQ(fake_.responses()[0].bytes, expected);
}

TEST_F(MethodCallChannelTest, UnansweredResultWarnsOfTheLeakAndSendsNothing) {
  Install([](const MethodCall<EncodableValue>&, Result) {});
  ::testing::internal::CaptureStderr();
  std::optional<fake_embedding::Response> response = Deliver(StopRingtoneCall());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), kLeakWarning);
  EXPECT_FALSE(response.has_value());
  EXPECT_THAT(fake_.responses(), IsEmpty());
  // The reply's reference on the messenger went with the result.
  EXPECT_EQ(fake_.messenger_references(fake_.engine_messenger()), 1);
}

TEST_F(MethodCallChannelTest, SecondAnswerIsRefused) {
  Install([](const MethodCall<EncodableValue>&, Result result) {
    result->Success(EncodableValue(int32_t{5}));
    result->Error("LATE", "too late");
  });
  ::testing::internal::CaptureStderr();
  std::optional<fake_embedding::Response> response = Deliver(StopRingtoneCall());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), kDuplicateResult);
  ASSERT_TRUE(response.has_value());
  EXPECT_EQ(response->bytes, std::vector<uint8_t>({0x00, 0x03, 0x05, 0x00, 0x00, 0x00}));
  EXPECT_EQ(fake_.responses().size(), 1u);
}

TEST_F(MethodCallChannelTest, EmptyCallHandlerClearsTheChannel) {
  Install([](const MethodCall<EncodableValue>&, Result result) { result->Success(); });
  ASSERT_TRUE(fake_.HasCallback(fake_.engine_messenger(), kChannel));
  flutter::MethodCallChannel channel(&messenger_, kChannel,
                                     &flutter::StandardMethodCodec::SharedInstance());
  channel.SetCallHandler(nullptr);
  EXPECT_FALSE(fake_.HasCallback(fake_.engine_messenger(), kChannel));
  EXPECT_THAT(fake_.log(), ElementsAre("MessengerSetCallback(messenger:engine, "
                                       "com.brenmo.tovan/windows_audio, callback, context)",
                                       "MessengerSetCallback(messenger:engine, "
                                       "com.brenmo.tovan/windows_audio, null, null)"));
}

TEST_F(MethodCallChannelTest, OtherChannelsDoNotReachTheHandler) {
  bool handler_called = false;
  Install([&](const MethodCall<EncodableValue>&, Result result) {
    handler_called = true;
    result->Success();
  });
  EXPECT_EQ(fake_.Deliver(fake_.engine_messenger(), "com.brenmo.tovan/other", StopRingtoneCall()),
            nullptr);
  EXPECT_FALSE(handler_called);
}

}  // namespace
