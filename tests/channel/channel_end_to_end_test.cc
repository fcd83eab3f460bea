// The channel layer end to end on Windows: a real MethodCallChannel with the
// standard method codec, installed through the engine and registrar wrappers
// on the development flutter_windows.dll, and messages delivered by that
// library the way the UI does (its test export FlutterDevkitDeliverMessage).
// Runs under Wine; the bundle and the DLL lie beside the executable.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "channel/encodable_value.h"
#include "channel/flutter_view_controller.h"
#include "channel/method_call_channel.h"
#include "channel/project_settings.h"
#include "channel/registrar_cache.h"
#include "channel/standard_method_codec.h"
#include "devkit/embedding/devkit_test_api.h"
#include "tests/devkit/embedding/devkit_test_support.h"

namespace {

using devkit_test::RecordResponse;
using devkit_test::Responses;
using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::MethodResult;
using ::testing::Contains;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr char kChannel[] = "com.brenmo.tovan/windows_audio";
constexpr char kLeakWarning[] = "Warning: Failed to respond to a message. This is a memory leak.\n";
constexpr char kDuplicateResult[] =
    "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
    "exactly once. Ignoring duplicate result.\n";

using Result = std::unique_ptr<MethodResult<EncodableValue>>;

// "stopRingtone" with null arguments.
std::vector<uint8_t> StopRingtoneCall() {
  std::vector<uint8_t> bytes = {0x07, 0x0c};
  for (char c : std::string("stopRingtone")) bytes.push_back(static_cast<uint8_t>(c));
  bytes.push_back(0x00);
  return bytes;
}

// Directs the library's trace to a temporary file for the life of this
// object; Calls() reads back the names of the interface functions called.
class TraceFile {
 public:
  TraceFile() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"channel_end_to_end_trace.txt";
    FlutterDevkitSetTraceFile(devkit_test::Narrow(path_).c_str());
  }
  ~TraceFile() {
    FlutterDevkitSetTraceFile(nullptr);
    DeleteFileW(path_.c_str());
  }
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  // The first word of every line: the function the host called (or "event").
  std::vector<std::string> Calls() const {
    std::vector<std::string> calls;
    for (const std::string& line : devkit_test::ReadLines(path_)) {
      calls.push_back(line.substr(0, line.find(' ')));
    }
    return calls;
  }

 private:
  std::wstring path_;
};

// The host's road: a view controller over a new engine, the registrar of
// "WindowsAudioPlugin" from the RegistrarCache, and the audio channel on that
// registrar's messenger, installed through a channel object that is gone
// before the first message, as the plugin's registration does.
class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    controller_ = std::make_unique<flutter::FlutterViewController>(
        320, 240, flutter::BundleSettings(L"data"));
    ASSERT_NE(controller_->GetView(), nullptr) << "no bundle beside the test executable?";
    registrar_handle_ = controller_->GetEngine()->GetPluginRegistrar("WindowsAudioPlugin");
    ASSERT_NE(registrar_handle_, nullptr);
    registrar_ = flutter::RegistrarCache::RegistrarFor(registrar_handle_);
    ASSERT_NE(registrar_, nullptr);
    messenger_handle_ = FlutterDesktopPluginRegistrarGetMessenger(registrar_handle_);
  }

  void TearDown() override { controller_.reset(); }

  void Install(flutter::CallHandler handler) {
    flutter::MethodCallChannel channel(registrar_->GetMessenger(), kChannel,
                                       &flutter::StandardMethodCodec::SharedInstance());
    channel.SetCallHandler(std::move(handler));
  }

  // Delivers on the UI thread (this one), as the library does.
  bool Deliver(const std::vector<uint8_t>& message) {
    return FlutterDevkitDeliverMessage(messenger_handle_, kChannel, message.data(), message.size(),
                                       &RecordResponse, &responses_);
  }

  std::unique_ptr<flutter::FlutterViewController> controller_;
  FlutterDesktopPluginRegistrarRef registrar_handle_ = nullptr;
  flutter::PluginRegistrarWindows* registrar_ = nullptr;
  FlutterDesktopMessengerRef messenger_handle_ = nullptr;
  Responses responses_;
};

TEST_F(EndToEndTest, HandlerAnsweringAtOnce) {
  std::string method;
  bool arguments_null = false;
  Install([&](const MethodCall<EncodableValue>& call, Result result) {
    method = call.GetMethodName();
    arguments_null = call.GetArguments() != nullptr && call.GetArguments()->IsNull();
    result->Success(EncodableValue(true));
  });
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(Deliver(StopRingtoneCall()));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(method, "stopRingtone");
  EXPECT_TRUE(arguments_null);
  ASSERT_EQ(responses_.received.size(), 1u);
  EXPECT_EQ(responses_.received[0], std::vector<uint8_t>({0x00, 0x01}));
  EXPECT_EQ(responses_.threads[0], GetCurrentThreadId());
}

TEST_F(EndToEndTest, HandlerAnsweringLaterFromAnotherThread) {
  Result kept;
  Install([&](const MethodCall<EncodableValue>&, Result result) { kept = std::move(result); });
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(Deliver(StopRingtoneCall()));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "nothing printed at return";
  EXPECT_THAT(responses_.received, IsEmpty());

  DWORD answering_thread = 0;
  std::thread worker([&] {
    answering_thread = GetCurrentThreadId();
    kept->Error("X", "");
    kept.reset();
  });
  worker.join();
  ASSERT_EQ(responses_.received.size(), 1u);
  EXPECT_EQ(responses_.received[0], std::vector<uint8_t>({0x01, 0x07, 0x01, 0x58, 0x00, 0x00}));
  EXPECT_EQ(responses_.threads[0], answering_thread);
}

TEST_F(EndToEndTest, HandlerNeverAnsweringWarnsOfTheLeak) {
  Install([](const MethodCall<EncodableValue>&, Result) {});
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(Deliver(StopRingtoneCall()));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), kLeakWarning);
  EXPECT_THAT(responses_.received, IsEmpty());
}

TEST_F(EndToEndTest, SecondAnswerNeverReachesTheUi) {
  Install([](const MethodCall<EncodableValue>&, Result result) {
    result->NotImplemented();
    result->Success(EncodableValue(int32_t{1}));
  });
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(Deliver(StopRingtoneCall()));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), kDuplicateResult);
  ASSERT_EQ(responses_.received.size(), 1u);
  EXPECT_THAT(responses_.received[0], IsEmpty()) << "not implemented is an empty response";
}

TEST_F(EndToEndTest, UndecodableMessageGetsAnEmptyResponse) {
  bool handler_called = false;
  Install([&](const MethodCall<EncodableValue>&, Result result) {
    handler_called = true;
    result->Success();
  });
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(Deliver({0x03, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Invalid method call; method name is not a string.\n"
            "Unable to construct method call from message on channel "
            "com.brenmo.tovan/windows_audio\n");
  EXPECT_FALSE(handler_called);
  ASSERT_EQ(responses_.received.size(), 1u);
  EXPECT_THAT(responses_.received[0], IsEmpty());
}

TEST_F(EndToEndTest, AnswerAfterShutdownIsDroppedSilently) {
  class Probe : public flutter::Plugin {
   public:
    explicit Probe(bool* destroyed) : destroyed_(destroyed) {}
    ~Probe() override { *destroyed_ = true; }

   private:
    bool* destroyed_;
  };
  bool plugin_destroyed = false;
  registrar_->AdoptPlugin(std::make_unique<Probe>(&plugin_destroyed));
  Result kept;
  Install([&](const MethodCall<EncodableValue>&, Result result) { kept = std::move(result); });
  ASSERT_TRUE(Deliver(StopRingtoneCall()));

  // The library's trace shows whether a response reached it at all.
  std::vector<std::string> calls;
  {
    TraceFile trace;
    // Closing the view ends the engine and its registrars, and with them the
    // cached wrapper and its plugin; the kept answer outlives all of it.
    controller_.reset();
    EXPECT_TRUE(plugin_destroyed);
    ::testing::internal::CaptureStderr();
    kept->Success(EncodableValue(true));
    kept.reset();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_THAT(responses_.received, IsEmpty());
    calls = trace.Calls();
  }
  ASSERT_THAT(calls, Contains("FlutterDesktopViewControllerDestroy")) << "trace not written?";
  EXPECT_THAT(calls, Contains("FlutterDesktopMessengerIsAvailable"));
  EXPECT_THAT(calls, Not(Contains("FlutterDesktopMessengerSendResponse")));
}

TEST_F(EndToEndTest, ClearedChannelIsNoLongerDelivered) {
  Install([](const MethodCall<EncodableValue>&, Result result) { result->Success(); });
  ASSERT_TRUE(Deliver(StopRingtoneCall()));
  flutter::MethodCallChannel(registrar_->GetMessenger(), kChannel,
                             &flutter::StandardMethodCodec::SharedInstance())
      .SetCallHandler(nullptr);
  EXPECT_FALSE(Deliver(StopRingtoneCall()));
  EXPECT_EQ(responses_.received.size(), 1u);
}

// Only the interface functions, in order, leaving out the library's events.
std::vector<std::string> HostCalls(const std::vector<std::string>& calls) {
  std::vector<std::string> host;
  for (const std::string& call : calls) {
    if (call.rfind("FlutterDesktop", 0) == 0) host.push_back(call);
  }
  return host;
}

TEST(EndToEndContract, CreationRegistrationAndShutdownCallTheLibraryInOrder) {
  TraceFile trace;
  auto controller =
      std::make_unique<flutter::FlutterViewController>(320, 240, flutter::BundleSettings(L"data"));
  ASSERT_NE(controller->GetView(), nullptr);
  EXPECT_NE(controller->GetView()->GetWindowHandle(), nullptr);
  flutter::PluginRegistrarWindows* registrar = flutter::RegistrarCache::RegistrarFor(
      controller->GetEngine()->GetPluginRegistrar("WindowsAudioPlugin"));
  ASSERT_NE(registrar, nullptr);
  EXPECT_NE(registrar->GetView(), nullptr);
  flutter::MethodCallChannel(registrar->GetMessenger(), kChannel,
                             &flutter::StandardMethodCodec::SharedInstance())
      .SetCallHandler([](const MethodCall<EncodableValue>&, Result result) { result->Success(); });
  controller.reset();

  EXPECT_THAT(
      HostCalls(trace.Calls()),
      ::testing::ElementsAre(
          "FlutterDesktopEngineCreate", "FlutterDesktopEngineGetMessenger",
          "FlutterDesktopViewControllerCreate", "FlutterDesktopViewControllerGetView",
          "FlutterDesktopViewGetHWND", "FlutterDesktopEngineGetPluginRegistrar",
          "FlutterDesktopPluginRegistrarGetMessenger", "FlutterDesktopRegistrarGetTextureRegistrar",
          "FlutterDesktopPluginRegistrarGetView",
          "FlutterDesktopPluginRegistrarSetDestructionHandler",
          "FlutterDesktopMessengerSetCallback", "FlutterDesktopViewControllerDestroy"));
}

}  // namespace
