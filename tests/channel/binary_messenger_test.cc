// BinaryMessengerImpl and the engine reply against the fake embedding: what
// reaches the library, in which order, and what the host prints.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "channel/binary_messenger_impl.h"
#include "tests/channel/fake_embedding.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kDuplicateResponse[] =
    "Error: Response can be set only once. Ignoring duplicate response.\n";

class BinaryMessengerTest : public ::testing::Test {
 protected:
  BinaryMessengerTest() : fake_(fake_embedding::Reset()), messenger_(fake_.engine_messenger()) {}

  // Installs a handler on "chan" that keeps every reply it is given.
  void InstallKeepingHandler() {
    messenger_.SetChannelHandler("chan", [this](const uint8_t*, size_t, flutter::ByteReply reply) {
      kept_.push_back(std::move(reply));
    });
  }

  fake_embedding::Fake& fake_;
  flutter::BinaryMessengerImpl messenger_;
  std::vector<flutter::ByteReply> kept_;
};

TEST_F(BinaryMessengerTest, ForwardsMessageBytesAndAnswersUnderTheLock) {
  const std::vector<uint8_t> message = {0x01, 0x02, 0x03};
  std::vector<uint8_t> seen;
  messenger_.SetChannelHandler("com.example/chan",
                               [&](const uint8_t* bytes, size_t count, flutter::ByteReply reply) {
                                 // The bytes are the library's, not a copy.
                                 EXPECT_EQ(bytes, message.data());
                                 seen.assign(bytes, bytes + count);
                                 const uint8_t answer[] = {0x09, 0x08};
                                 reply(answer, sizeof(answer));
                               });
  fake_.ClearLog();

  const FlutterDesktopMessageResponseHandle* handle =
      fake_.Deliver(fake_.engine_messenger(), "com.example/chan", message);

  EXPECT_EQ(seen, message);
  std::optional<fake_embedding::Response> response = fake_.ResponseFor(handle);
  ASSERT_TRUE(response.has_value());
  EXPECT_EQ(response->bytes, std::vector<uint8_t>({0x09, 0x08}));
  EXPECT_EQ(response->messenger, "messenger:engine");
  EXPECT_TRUE(response->sent_under_lock);
  EXPECT_THAT(
      fake_.log(),
      ElementsAre("MessengerAddRef(messenger:engine)", "MessengerLock(messenger:engine)",
                  "MessengerIsAvailable(messenger:engine)",
                  "MessengerSendResponse(messenger:engine, #1, [09 08])",
                  "MessengerUnlock(messenger:engine)", "MessengerRelease(messenger:engine)"));
  EXPECT_EQ(fake_.messenger_references(fake_.engine_messenger()), 1);
}

TEST_F(BinaryMessengerTest, SecondResponseIsRefusedWithItsMessage) {
  InstallKeepingHandler();
  const FlutterDesktopMessageResponseHandle* handle =
      fake_.Deliver(fake_.engine_messenger(), "chan", {0x00});
  ASSERT_EQ(kept_.size(), 1u);

  const uint8_t first[] = {0x01};
  const uint8_t second[] = {0x02};
  ::testing::internal::CaptureStderr();
  kept_[0](first, 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ::testing::internal::CaptureStderr();
  kept_[0](second, 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), kDuplicateResponse);

  ASSERT_EQ(fake_.responses().size(), 1u);
  EXPECT_EQ(fake_.responses()[0].handle, handle);
  EXPECT_EQ(fake_.responses()[0].bytes, std::vector<uint8_t>({0x01}));
}

TEST_F(BinaryMessengerTest, CopiesOfOneReplyAnswerItOnce) {
  InstallKeepingHandler();
  fake_.Deliver(fake_.engine_messenger(), "chan", {0x00});
  flutter::ByteReply copy = kept_[0];

  ::testing::internal::CaptureStderr();
  kept_[0](nullptr, 0);
  copy(nullptr, 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), kDuplicateResponse);
  EXPECT_EQ(fake_.responses().size(), 1u);
}

TEST_F(BinaryMessengerTest, ReplyAfterEngineShutdownIsSilentAndSendsNothing) {
  InstallKeepingHandler();
  fake_.Deliver(fake_.engine_messenger(), "chan", {0x00});
  fake_.ShutDownEngine();
  fake_.ClearLog();

  ::testing::internal::CaptureStderr();
  kept_[0](nullptr, 0);
  kept_[0](nullptr, 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_THAT(fake_.responses(), IsEmpty());
  // Still serialised with the library, which decides availability.
  EXPECT_THAT(
      fake_.log(),
      ElementsAre("MessengerLock(messenger:engine)", "MessengerIsAvailable(messenger:engine)",
                  "MessengerUnlock(messenger:engine)", "MessengerLock(messenger:engine)",
                  "MessengerIsAvailable(messenger:engine)", "MessengerUnlock(messenger:engine)"));
}

TEST_F(BinaryMessengerTest, KeptReplyHoldsTheMessengerUntilItsLastCopyGoes) {
  InstallKeepingHandler();
  const FlutterDesktopMessageResponseHandle* handle =
      fake_.Deliver(fake_.engine_messenger(), "chan", {0x00});
  // Nothing answered at return; the kept reply holds one reference.
  EXPECT_THAT(fake_.responses(), IsEmpty());
  EXPECT_EQ(fake_.messenger_references(fake_.engine_messenger()), 2);

  flutter::ByteReply copy = kept_[0];
  kept_.clear();
  EXPECT_EQ(fake_.messenger_references(fake_.engine_messenger()), 2);

  const uint8_t later[] = {0x07};
  copy(later, 1);
  ASSERT_TRUE(fake_.ResponseFor(handle).has_value());
  EXPECT_EQ(fake_.ResponseFor(handle)->bytes, std::vector<uint8_t>({0x07}));

  copy = nullptr;
  EXPECT_EQ(fake_.messenger_references(fake_.engine_messenger()), 1);
}

TEST_F(BinaryMessengerTest, RepliesFromOtherThreadsAreSentUnderTheLock) {
  InstallKeepingHandler();
  constexpr int kMessages = 8;
  for (int i = 0; i < kMessages; ++i) {
    fake_.Deliver(fake_.engine_messenger(), "chan", {static_cast<uint8_t>(i)});
  }
  ASSERT_EQ(kept_.size(), static_cast<size_t>(kMessages));
  // Two copies of the first reply race each other as well.
  flutter::ByteReply racing_copy = kept_[0];

  ::testing::internal::CaptureStderr();
  std::vector<std::thread> threads;
  for (int i = 0; i < kMessages; ++i) {
    threads.emplace_back([reply = kept_[i], i] {
      const uint8_t byte = static_cast<uint8_t>(i);
      reply(&byte, 1);
    });
  }
  threads.emplace_back([&racing_copy] {
    const uint8_t byte = 0xff;
    racing_copy(&byte, 1);
  });
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), kDuplicateResponse);

  std::vector<fake_embedding::Response> responses = fake_.responses();
  EXPECT_EQ(responses.size(), static_cast<size_t>(kMessages));
  for (const fake_embedding::Response& response : responses) {
    EXPECT_TRUE(response.sent_under_lock) << "response #" << response.bytes.size();
  }
}

TEST_F(BinaryMessengerTest, ReplacingAHandlerKeepsTheEntryAndItsContext) {
  int first_calls = 0;
  int second_calls = 0;
  messenger_.SetChannelHandler("chan", [&](const uint8_t*, size_t, flutter::ByteReply reply) {
    ++first_calls;
    reply(nullptr, 0);
  });
  void* context = fake_.CallbackContext(fake_.engine_messenger(), "chan");
  ASSERT_NE(context, nullptr);

  // Other channels around it do not move the entry either.
  for (const char* other : {"a", "b", "chan0", "z"}) {
    messenger_.SetChannelHandler(other, [](const uint8_t*, size_t, flutter::ByteReply) {});
  }
  messenger_.SetChannelHandler("chan", [&](const uint8_t*, size_t, flutter::ByteReply reply) {
    ++second_calls;
    reply(nullptr, 0);
  });
  EXPECT_EQ(fake_.CallbackContext(fake_.engine_messenger(), "chan"), context);

  fake_.Deliver(fake_.engine_messenger(), "chan", {0x00});
  EXPECT_EQ(first_calls, 0);
  EXPECT_EQ(second_calls, 1);
}

TEST_F(BinaryMessengerTest, HandlerMayClearItsOwnChannelWhileRunning) {
  auto state = std::make_shared<std::string>("still here");
  std::string seen;
  messenger_.SetChannelHandler(
      "chan", [this, state, &seen](const uint8_t*, size_t, flutter::ByteReply reply) {
        messenger_.SetChannelHandler("chan", nullptr);
        // Its captures must still be alive after the entry is gone.
        seen = *state;
        reply(nullptr, 0);
      });
  state.reset();
  const FlutterDesktopMessageResponseHandle* handle =
      fake_.Deliver(fake_.engine_messenger(), "chan", {0x00});
  EXPECT_EQ(seen, "still here");
  EXPECT_TRUE(fake_.ResponseFor(handle).has_value());
  EXPECT_FALSE(fake_.HasCallback(fake_.engine_messenger(), "chan"));
}

TEST_F(BinaryMessengerTest, ClearingUnregistersEvenWithoutAnEntry) {
  messenger_.SetChannelHandler("never", nullptr);
  messenger_.SetChannelHandler("chan", [](const uint8_t*, size_t, flutter::ByteReply) {});
  messenger_.SetChannelHandler("chan", nullptr);

  EXPECT_THAT(fake_.log(),
              ElementsAre("MessengerSetCallback(messenger:engine, never, null, null)",
                          "MessengerSetCallback(messenger:engine, chan, callback, context)",
                          "MessengerSetCallback(messenger:engine, chan, null, null)"));
  EXPECT_FALSE(fake_.HasCallback(fake_.engine_messenger(), "chan"));
}

TEST_F(BinaryMessengerTest, DestroyingTheMessengerLeavesChannelsRegistered) {
  {
    flutter::BinaryMessengerImpl scoped(fake_.engine_messenger());
    scoped.SetChannelHandler("scoped", [](const uint8_t*, size_t, flutter::ByteReply) {});
  }
  EXPECT_THAT(fake_.log(),
              ElementsAre("MessengerSetCallback(messenger:engine, scoped, callback, context)"));
}

TEST_F(BinaryMessengerTest, SendWithoutReplyUsesThePlainSend) {
  const uint8_t bytes[] = {0x0a, 0x0b};
  messenger_.Send("out", bytes, sizeof(bytes));
  EXPECT_THAT(fake_.log(), ElementsAre("MessengerSend(messenger:engine, out, [0a 0b])"));
  EXPECT_THAT(fake_.pending_replies, IsEmpty());
}

TEST_F(BinaryMessengerTest, SendWithReplyDeliversTheResponseOnce) {
  std::vector<std::vector<uint8_t>> answers;
  const uint8_t bytes[] = {0x0c};
  messenger_.Send("out", bytes, sizeof(bytes), [&](const uint8_t* data, size_t count) {
    answers.emplace_back(data, data + count);
  });
  EXPECT_THAT(fake_.log(), ElementsAre("MessengerSendWithReply(messenger:engine, out, [0c])"));
  ASSERT_EQ(fake_.pending_replies.size(), 1u);

  // The holder is freed after this single use (the sanitizer checks the rest).
  fake_.AnswerPendingReply({0x05, 0x06});
  EXPECT_EQ(answers, std::vector<std::vector<uint8_t>>({{0x05, 0x06}}));
}

TEST_F(BinaryMessengerTest, RefusedSendFreesItsHolderWithoutCallingTheReply) {
  fake_.send_with_reply_refused = true;
  auto witness = std::make_shared<int>(0);
  bool called = false;
  messenger_.Send("out", nullptr, 0, [witness, &called](const uint8_t*, size_t) { called = true; });
  EXPECT_EQ(witness.use_count(), 1) << "the reply's holder outlived the refused send";
  EXPECT_FALSE(called);
}

}  // namespace
