// Tests of MethodCall, MethodResult, ReplyGuard and StandardMethodCodec:
// golden call and reply envelopes, the decoding of truncated and malformed
// ones, the once-only reply, and the shared codec instances.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channel/method_call.h"
#include "channel/method_result.h"
#include "channel/reply_guard.h"
#include "channel/standard_method_codec.h"
#include "tests/channel/channel_test_support.h"

namespace flutter {
namespace {

using tovan_test::Bytes;
using tovan_test::CerrCapture;
using tovan_test::Concat;
using tovan_test::kInvalidRead;
using tovan_test::TextBytes;

constexpr const char* kDuplicateAnswer =
    "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
    "exactly once. Ignoring duplicate result.";
constexpr const char* kUnanswered =
    "Warning: Failed to respond to a message. This is a memory leak.";

// Records what a MethodResult's virtual operations were given.
class RecordingResult : public MethodResult<EncodableValue> {
 public:
  struct Answer {
    std::string kind;
    const EncodableValue* pointer = nullptr;
    std::optional<EncodableValue> value;
    std::string code;
    std::string message;
  };
  std::vector<Answer> answers;

 protected:
  void HandleSuccess(const EncodableValue* result) override {
    answers.push_back({"success", result, Copy(result), "", ""});
  }
  void HandleError(const std::string& code, const std::string& message,
                   const EncodableValue* details) override {
    answers.push_back({"error", details, Copy(details), code, message});
  }
  void HandleNotImplemented() override {
    answers.push_back({"not implemented", nullptr, std::nullopt, "", ""});
  }

 private:
  static std::optional<EncodableValue> Copy(const EncodableValue* value) {
    return value != nullptr ? std::optional<EncodableValue>(*value) : std::nullopt;
  }
};

const StandardMethodCodec& Codec() { return StandardMethodCodec::SharedInstance(); }

TEST(MethodResultTest, PublicAnswersForwardToOneSlotEach) {
  RecordingResult result;
  const EncodableValue value(true);
  result.Success(value);
  result.Success();
  result.Error("CODE");
  result.Error("CODE", "text", &value);
  result.NotImplemented();
  ASSERT_EQ(result.answers.size(), 5u);
  EXPECT_EQ(result.answers[0].kind, "success");
  EXPECT_EQ(result.answers[0].pointer, &value);
  EXPECT_EQ(result.answers[1].pointer, nullptr);
  EXPECT_EQ(result.answers[2].kind, "error");
  EXPECT_EQ(result.answers[2].code, "CODE");
  EXPECT_EQ(result.answers[2].message, "");
  EXPECT_EQ(result.answers[2].pointer, nullptr);
  EXPECT_EQ(result.answers[3].message, "text");
  EXPECT_EQ(result.answers[3].pointer, &value);
  EXPECT_EQ(result.answers[4].kind, "not implemented");
}

TEST(StandardMethodCodecTest, GoldenEnvelopes) {
  const EncodableValue one(1.0);
  const EncodableValue details(EncodableValueList{int32_t{7}});
  struct Case {
    const char* name;
    std::unique_ptr<std::vector<uint8_t>> encoded;
    std::vector<uint8_t> expected;
  };
  Case cases[] = {
      {"call without arguments",
       Codec().EncodeCall(
           MethodCall<EncodableValue>("stopRingtone", std::make_unique<EncodableValue>())),
       Concat(Concat(Bytes("07 0C"), TextBytes("stopRingtone")), Bytes("00"))},
      {"call with an absent arguments value",
       Codec().EncodeCall(MethodCall<EncodableValue>("stopRingtone", nullptr)),
       Concat(Concat(Bytes("07 0C"), TextBytes("stopRingtone")), Bytes("00"))},
      {"call with a map, double aligned from the message start",
       Codec().EncodeCall(MethodCall<EncodableValue>(
           "setVolume", std::make_unique<EncodableValue>(EncodableValueMap{{"volume", 0.5}}))),
       Concat(Concat(Concat(Bytes("07 09"), TextBytes("setVolume")), Bytes("0D 01 07 06")),
              Concat(TextBytes("volume"), Bytes("06 00 00 00 00 00 00 00 00 E0 3F")))},
      {"success without a value", Codec().EncodeSuccessReply(nullptr), Bytes("00 00")},
      {"success with 1.0", Codec().EncodeSuccessReply(&one),
       Bytes("00 06 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F")},
      {"error of the audio plugin",
       Codec().EncodeErrorReply("INVALID_ARGUMENT", "Expected a map of arguments", nullptr),
       Concat(Concat(Concat(Bytes("01 07 10"), TextBytes("INVALID_ARGUMENT")), Bytes("07 1B")),
              Concat(TextBytes("Expected a map of arguments"), Bytes("00")))},
      {"error with an empty message", Codec().EncodeErrorReply("X", "", nullptr),
       Bytes("01 07 01 58 00 00")},
      {"error with an empty code and details", Codec().EncodeErrorReply("", "m", &details),
       Bytes("01 07 00 07 01 6D 0C 01 03 07 00 00 00")},
  };
  for (const Case& c : cases) {
    ASSERT_NE(c.encoded, nullptr) << c.name;
    EXPECT_EQ(*c.encoded, c.expected) << c.name;
  }
}

TEST(StandardMethodCodecTest, DecodeCall) {
  const std::vector<uint8_t> stop = Concat(Bytes("07 0C"), TextBytes("stopRingtone"));
  struct Case {
    const char* name;
    std::vector<uint8_t> message;
    const char* method;  // nullptr: no call
    EncodableValue arguments;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"null arguments", Concat(stop, Bytes("00")), "stopRingtone", EncodableValue(), {}},
      {"message ends after the name", stop, "stopRingtone", EncodableValue(), {kInvalidRead}},
      {"bytes after the arguments are ignored",
       Concat(stop, Bytes("01 02 03")),
       "stopRingtone",
       true,
       {}},
      {"map arguments",
       Concat(stop, Bytes("0D 01 07 01 61 03 05 00 00 00")),
       "stopRingtone",
       EncodableValueMap{{"a", 5}},
       {}},
      {"name is an int32",
       Bytes("03 01 00 00 00 00"),
       nullptr,
       EncodableValue(),
       {"Invalid method call; method name is not a string."}},
      {"empty message",
       Bytes(""),
       nullptr,
       EncodableValue(),
       {kInvalidRead, "Invalid method call; method name is not a string."}},
  };
  for (const Case& c : cases) {
    CerrCapture cerr;
    const std::unique_ptr<MethodCall<EncodableValue>> call =
        Codec().DecodeCall(c.message.data(), c.message.size());
    EXPECT_EQ(cerr.Lines(), c.lines) << c.name;
    if (c.method == nullptr) {
      EXPECT_EQ(call, nullptr) << c.name;
      continue;
    }
    ASSERT_NE(call, nullptr) << c.name;
    EXPECT_EQ(call->GetMethodName(), c.method) << c.name;
    ASSERT_NE(call->GetArguments(), nullptr) << c.name;
    EXPECT_EQ(*call->GetArguments(), c.arguments) << c.name;
    EXPECT_EQ(call->GetArguments()->Index(), c.arguments.Index()) << c.name;
  }
}

TEST(StandardMethodCodecTest, DecodeReply) {
  struct Case {
    const char* name;
    std::vector<uint8_t> reply;
    bool known;
    std::vector<std::string> kinds;
    std::optional<EncodableValue> value;  // result or details handed over
    std::string code;
    std::string message;
    std::vector<std::string> lines;
  };
  const std::string invalid_error =
      "Invalid error reply; error code is not a string or error message is neither a string "
      "nor null.";
  const Case cases[] = {
      {"success with int32 5",
       Bytes("00 03 05 00 00 00"),
       true,
       {"success"},
       EncodableValue(5),
       "",
       "",
       {}},
      {"success with null", Bytes("00 00"), true, {"success"}, std::nullopt, "", "", {}},
      {"empty reply",
       Bytes(""),
       true,
       {"success"},
       std::nullopt,
       "",
       "",
       {kInvalidRead, kInvalidRead}},
      {"error with empty message",
       Bytes("01 07 01 58 00 00"),
       true,
       {"error"},
       std::nullopt,
       "X",
       "",
       {}},
      {"error with message and details",
       Bytes("01 07 01 45 07 02 68 69 01"),
       true,
       {"error"},
       EncodableValue(true),
       "E",
       "hi",
       {}},
      {"truncated error",
       Bytes("01 07 01 45"),
       true,
       {"error"},
       std::nullopt,
       "E",
       "",
       {kInvalidRead, kInvalidRead}},
      {"unknown status", Bytes("02"), false, {}, std::nullopt, "", "", {}},
      {"error whose code is an int32",
       Bytes("01 03 01 00 00 00 00 00"),
       false,
       {},
       std::nullopt,
       "",
       "",
       {invalid_error}},
      {"error whose message is true",
       Bytes("01 07 01 45 01 00"),
       false,
       {},
       std::nullopt,
       "",
       "",
       {invalid_error}},
  };
  for (const Case& c : cases) {
    RecordingResult result;
    CerrCapture cerr;
    EXPECT_EQ(Codec().DecodeReply(c.reply.data(), c.reply.size(), &result), c.known) << c.name;
    EXPECT_EQ(cerr.Lines(), c.lines) << c.name;
    std::vector<std::string> kinds;
    for (const RecordingResult::Answer& answer : result.answers) {
      kinds.push_back(answer.kind);
    }
    EXPECT_EQ(kinds, c.kinds) << c.name;
    if (result.answers.empty()) {
      continue;
    }
    const RecordingResult::Answer& answer = result.answers[0];
    EXPECT_EQ(answer.value.has_value(), c.value.has_value()) << c.name;
    if (answer.value && c.value) {
      EXPECT_EQ(*answer.value, *c.value) << c.name;
    }
    EXPECT_EQ(answer.code, c.code) << c.name;
    EXPECT_EQ(answer.message, c.message) << c.name;
  }
}

TEST(StandardMethodCodecTest, SharedInstanceIsOnePerSerializer) {
  const StandardCodecSerializer other;
  EXPECT_EQ(&StandardMethodCodec::SharedInstance(), &StandardMethodCodec::SharedInstance());
  EXPECT_EQ(&StandardMethodCodec::SharedInstance(),
            &StandardMethodCodec::SharedInstance(&StandardCodecSerializer::GetInstance()));
  EXPECT_NE(&StandardMethodCodec::SharedInstance(&other), &StandardMethodCodec::SharedInstance());
  EXPECT_EQ(&StandardMethodCodec::SharedInstance(&other),
            &StandardMethodCodec::SharedInstance(&other));
  EXPECT_EQ(&StandardCodecSerializer::GetInstance(), &StandardCodecSerializer::SharedInstance());
}

// What the reply path was called with.
struct SentReplies {
  struct Reply {
    const uint8_t* bytes;
    std::vector<uint8_t> copy;
  };
  std::vector<Reply> replies;

  ByteReply Recorder() {
    return [this](const uint8_t* bytes, size_t size) {
      replies.push_back({bytes, bytes != nullptr ? std::vector<uint8_t>(bytes, bytes + size)
                                                 : std::vector<uint8_t>(size, 0xEE)});
    };
  }
};

TEST(ReplyGuardTest, SendsPresentBytesAndNullForAbsentOrEmptyBuffers) {
  const std::vector<uint8_t> empty;
  const std::vector<uint8_t> bytes = Bytes("00 01");
  struct Case {
    const char* name;
    const std::vector<uint8_t>* buffer;
    bool null_pointer;
    std::vector<uint8_t> sent;
  };
  const Case cases[] = {
      {"absent buffer", nullptr, true, {}},
      {"empty buffer", &empty, true, {}},
      {"bytes", &bytes, false, bytes},
  };
  for (const Case& c : cases) {
    SentReplies sent;
    CerrCapture cerr;
    {
      ReplyGuard guard(sent.Recorder());
      guard.SendReply(c.buffer);
    }
    ASSERT_EQ(sent.replies.size(), 1u) << c.name;
    EXPECT_EQ(sent.replies[0].bytes == nullptr, c.null_pointer) << c.name;
    EXPECT_EQ(sent.replies[0].copy, c.sent) << c.name;
    EXPECT_EQ(cerr.Lines(), std::vector<std::string>()) << c.name;
  }
}

TEST(ReplyGuardTest, TakesTheReplyOverAndAnswersOnlyOnce) {
  SentReplies sent;
  ByteReply reply = sent.Recorder();
  CerrCapture cerr;
  {
    ReplyGuard guard(std::move(reply));
    EXPECT_FALSE(reply);  // NOLINT(bugprone-use-after-move): the guard empties it
    guard.SendReply(nullptr);
    guard.SendReply(nullptr);
  }
  EXPECT_EQ(sent.replies.size(), 1u);
  EXPECT_EQ(cerr.Lines(), std::vector<std::string>{kDuplicateAnswer});
}

TEST(ReplyGuardTest, WarnsOnceWhenDestroyedUnanswered) {
  SentReplies sent;
  CerrCapture cerr;
  { ReplyGuard guard(sent.Recorder()); }
  { ReplyGuard empty_guard(ByteReply{}); }
  EXPECT_TRUE(sent.replies.empty());
  EXPECT_EQ(cerr.Lines(), std::vector<std::string>{kUnanswered});
}

TEST(ReplyGuardTest, AnAnswerFromInsideTheReplyIsASecondAnswer) {
  int calls = 0;
  CerrCapture cerr;
  std::unique_ptr<ReplyGuard> guard;
  guard = std::make_unique<ReplyGuard>([&](const uint8_t*, size_t) {
    ++calls;
    guard->SendReply(nullptr);
  });
  guard->SendReply(nullptr);
  guard.reset();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(cerr.Lines(), std::vector<std::string>{kDuplicateAnswer});
}

// A result that answers through the codec and a ReplyGuard, the way the
// engine-backed result does.
class GuardedResult : public MethodResult<EncodableValue> {
 public:
  explicit GuardedResult(ByteReply reply) : guard_(std::move(reply)) {}

 protected:
  void HandleSuccess(const EncodableValue* result) override {
    guard_.SendReply(Codec().EncodeSuccessReply(result).get());
  }
  void HandleError(const std::string& code, const std::string& message,
                   const EncodableValue* details) override {
    guard_.SendReply(Codec().EncodeErrorReply(code, message, details).get());
  }
  void HandleNotImplemented() override { guard_.SendReply(nullptr); }

 private:
  ReplyGuard guard_;
};

TEST(ReplyGuardTest, SuccessThenErrorSendsTheSuccessOnly) {
  SentReplies sent;
  CerrCapture cerr;
  {
    GuardedResult result(sent.Recorder());
    result.Success(EncodableValue(true));
    result.Error("LATE", "too late");
  }
  ASSERT_EQ(sent.replies.size(), 1u);
  EXPECT_EQ(sent.replies[0].copy, Bytes("00 01"));
  EXPECT_EQ(cerr.Lines(), std::vector<std::string>{kDuplicateAnswer});
}

TEST(ReplyGuardTest, NotImplementedSendsAnEmptyResponse) {
  SentReplies sent;
  {
    GuardedResult result(sent.Recorder());
    result.NotImplemented();
  }
  ASSERT_EQ(sent.replies.size(), 1u);
  EXPECT_EQ(sent.replies[0].bytes, nullptr);
  EXPECT_TRUE(sent.replies[0].copy.empty());
}

}  // namespace
}  // namespace flutter
