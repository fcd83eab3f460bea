// Registration through the development flutter_windows.dll: the plugin serves its channel, and
// only its channel, answers each call once, and is owned and destroyed by its registrar.
// Runs under Wine with a display; the bundle and the DLL lie beside the executable.

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "audio_plugin/windows_audio_plugin.h"
#include "channel/encodable_value.h"
#include "channel/flutter_view_controller.h"
#include "channel/plugin_registrar_windows.h"
#include "channel/project_settings.h"
#include "channel/registrar_cache.h"
#include "channel/standard_method_codec.h"
#include "devkit/embedding/devkit_test_api.h"
#include "tests/audio_plugin/audio_plugin_test_support.h"
#include "tests/audio_plugin/fake_audio_system.h"
#include "tests/devkit/embedding/devkit_test_support.h"

namespace {

using flutter::EncodableValue;
using flutter::EncodableValueMap;

constexpr char kChannel[] = "com.brenmo.tovan/windows_audio";

std::vector<uint8_t> EncodedCall(const std::string& method,
                                 std::unique_ptr<EncodableValue> arguments) {
  const flutter::MethodCall<EncodableValue> call(method, std::move(arguments));
  return *flutter::StandardMethodCodec::SharedInstance().EncodeCall(call);
}

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    controller_ = std::make_unique<flutter::FlutterViewController>(
        320, 240, flutter::BundleSettings(L"data"));
    ASSERT_NE(controller_->GetView(), nullptr) << "no bundle beside the test executable?";
    FlutterDesktopPluginRegistrarRef handle =
        controller_->GetEngine()->GetPluginRegistrar("WindowsAudioPlugin");
    ASSERT_NE(handle, nullptr);
    registrar_ = flutter::RegistrarCache::RegistrarFor(handle);
    messenger_ = FlutterDesktopPluginRegistrarGetMessenger(handle);
    WindowsAudioPlugin::RegisterWithRegistrar(registrar_);
  }

  void TearDown() override { controller_.reset(); }

  // Delivers a call as the UI does; false when nothing serves the channel.
  bool Deliver(const char* channel, const std::string& method,
               std::unique_ptr<EncodableValue> arguments = nullptr) {
    const std::vector<uint8_t> message = EncodedCall(method, std::move(arguments));
    return FlutterDevkitDeliverMessage(messenger_, channel, message.data(), message.size(),
                                       &devkit_test::RecordResponse, &responses_);
  }

  // The last response, decoded.
  AnswerLog LastAnswer() const {
    AnswerLog log;
    if (responses_.received.empty()) return log;
    RecordingResult result(&log);
    const std::vector<uint8_t>& bytes = responses_.received.back();
    if (bytes.empty()) {
      // An empty response is how "not implemented" travels.
      log.answers.push_back({RecordedAnswer::Kind::kNotImplemented, std::nullopt, "", "", false});
      return log;
    }
    EXPECT_TRUE(flutter::StandardMethodCodec::SharedInstance().DecodeReply(bytes.data(),
                                                                           bytes.size(), &result));
    return log;
  }

  ScopedFakeAudioSystem system_;
  TemporaryDirectory files_;
  std::unique_ptr<flutter::FlutterViewController> controller_;
  flutter::PluginRegistrarWindows* registrar_ = nullptr;
  FlutterDesktopMessengerRef messenger_ = nullptr;
  devkit_test::Responses responses_;
};

TEST_F(RegistrationTest, CallsOnTheAudioChannelReachTheDispatcherAndAreAnsweredOnce) {
  ASSERT_TRUE(Deliver(kChannel, "stopRingtone"));
  ASSERT_EQ(responses_.received.size(), 1u);
  EXPECT_EQ(responses_.received[0], (std::vector<uint8_t>{0x00, 0x01})) << "success, true";
  ASSERT_EQ(Fake().play_calls.size(), 1u) << "the dispatcher ran StopRingtone";

  ASSERT_TRUE(
      Deliver(kChannel, "setVolume", Arguments({{EncodableValue("volume"), EncodableValue("1")}})));
  ASSERT_EQ(responses_.received.size(), 2u);
  const AnswerLog error = LastAnswer();
  const RecordedAnswer& answer = error.Only();
  EXPECT_EQ(answer.code, "INVALID_ARGUMENT");
  EXPECT_EQ(answer.message, "volume must be a number");
  EXPECT_FALSE(answer.has_details);

  ASSERT_TRUE(Deliver(kChannel, "noSuchMethod"));
  ASSERT_EQ(responses_.received.size(), 3u);
  EXPECT_TRUE(responses_.received[2].empty()) << "not implemented is an empty response";
}

TEST_F(RegistrationTest, OtherChannelsDoNotReachThePlugin) {
  for (const char* channel : {"com.brenmo.tovan/windows_audio ", "com.brenmo.tovan/Windows_audio",
                              "com.brenmo.tovan/windows_audi", "flutter/platform"}) {
    EXPECT_FALSE(Deliver(channel, "stopRingtone")) << channel;
  }
  EXPECT_TRUE(responses_.received.empty());
  EXPECT_TRUE(Fake().play_calls.empty()) << "the plugin saw none of them";
}

TEST_F(RegistrationTest, TheRegistrarOwnsOnePluginAndItsEndStopsTheRingtone) {
  const std::wstring ring = files_.WriteFile(L"ring.wav", WavBytes(800));
  ASSERT_TRUE(Deliver(kChannel, "playRingtone",
                      Arguments({{EncodableValue("filePath"), EncodableValue(Narrow(ring))}})));
  ASSERT_EQ(responses_.received.size(), 1u);
  EXPECT_EQ(responses_.received[0], (std::vector<uint8_t>{0x00, 0x01}));
  ASSERT_EQ(Fake().play_calls.size(), 1u);
  EXPECT_EQ(Fake().play_calls[0].sound, ring);

  // Ending the engine ends its registrars; their wrappers destroy the plugins they own.
  controller_.reset();
  ASSERT_EQ(Fake().play_calls.size(), 2u) << "exactly one plugin was destroyed";
  EXPECT_FALSE(Fake().play_calls[1].sound.has_value());
  EXPECT_EQ(Fake().play_calls[1].flags, 0u);
  EXPECT_EQ(DiagnosticCells::Read().last_audio_op, 2);
}

}  // namespace
