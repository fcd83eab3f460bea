// Tests of the channel console the development view shows: each row sends
// its method through the messenger to the host's callback with the
// arguments its fields hold, the written-call row sends any call, and the log
// pane shows every call and its reply.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "channel/encodable_value.h"
#include "channel/method_call.h"
#include "channel/standard_method_codec.h"
#include "devkit/embedding/devkit_test_api.h"
#include "devkit/notation/channel_notation.h"
#include "tests/devkit/embedding/devkit_test_support.h"

namespace {

using devkit_test::HostWindow;
using devkit_test::MakeBundle;
using devkit_test::Properties;
using devkit_test::PumpUntil;
using devkit_test::TempFolder;

constexpr char kAudioChannel[] = "com.brenmo.tovan/windows_audio";

// The host side of the audio channel: records each call in the typed
// notation and answers success(true), or two endpoints for
// getSystemAudioDevices.
std::vector<std::string>* received_calls = nullptr;

void AnswerAndRecord(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
                     void*) {
  const auto& codec = flutter::StandardMethodCodec::SharedInstance();
  auto call = codec.DecodeCall(message->message, message->message_size);
  ASSERT_TRUE(call);
  const flutter::EncodableValue no_arguments;
  received_calls->push_back(tovan::notation::PrintCall(
      call->GetMethodName(), call->GetArguments() ? *call->GetArguments() : no_arguments));
  flutter::EncodableValue result(true);
  if (call->GetMethodName() == "getSystemAudioDevices") {
    flutter::EncodableValueList endpoints;
    for (const char* id : {"{0.0.0.1}", "{0.0.0.2}"}) {
      endpoints.Append(flutter::EncodableValue(flutter::EncodableValueMap{
          {flutter::EncodableValue("deviceId"), flutter::EncodableValue(id)},
          {flutter::EncodableValue("label"), flutter::EncodableValue("Speakers")},
          {flutter::EncodableValue("isDefault"), flutter::EncodableValue(false)}}));
    }
    result = flutter::EncodableValue(std::move(endpoints));
  }
  auto reply = codec.EncodeSuccessReply(&result);
  FlutterDesktopMessengerSendResponse(messenger, message->response_handle, reply->data(),
                                      reply->size());
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  text.resize(text.size() - 1);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64];
  GetClassNameW(window, name, 64);
  return name;
}

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    received_calls = &calls_;
    MakeBundle(folder_.File(L"bundle"));
    Properties properties(folder_.File(L"bundle"), {});
    FlutterDesktopEngineRef engine = FlutterDesktopEngineCreate(properties.get());
    controller_ = FlutterDesktopViewControllerCreate(720, 600, engine);
    ASSERT_NE(controller_, nullptr);
    FlutterDesktopMessengerSetCallback(FlutterDesktopEngineGetMessenger(engine), kAudioChannel,
                                       &AnswerAndRecord, nullptr);
    window_ = std::make_unique<HostWindow>(/*visible=*/false);
    window_->Adopt(controller_);
    view_ = FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(controller_));
  }

  void TearDown() override {
    window_.reset();  // destroys the controller, as the host does
    received_calls = nullptr;
  }

  // The first child of the view of `window_class` whose text is `text`.
  HWND Control(const std::wstring& window_class, const std::wstring& text) {
    for (HWND child = GetWindow(view_, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if (_wcsicmp(ClassOf(child).c_str(), window_class.c_str()) == 0 && TextOf(child) == text) {
        return child;
      }
    }
    return nullptr;
  }

  // The field that follows the label `key` on the row of `method`.
  HWND Field(const std::wstring& method, const std::wstring& key) {
    for (HWND child = GetWindow(Control(L"Button", method), GW_HWNDNEXT); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if (TextOf(child) == key) {
        return ClassOf(child) == L"Button" ? child : GetWindow(child, GW_HWNDNEXT);
      }
    }
    return nullptr;
  }

  HWND LogPane() {
    for (HWND child = GetWindow(view_, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if (_wcsicmp(ClassOf(child).c_str(), L"Edit") == 0 &&
          (GetWindowLongW(child, GWL_STYLE) & ES_MULTILINE) != 0) {
        return child;
      }
    }
    return nullptr;
  }

  // Clicks the button as a person would (the notification it sends).
  void Click(HWND button) {
    ASSERT_NE(button, nullptr);
    SendMessageW(view_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
  }

  bool LogShows(const std::wstring& text) {
    return PumpUntil([&] { return TextOf(LogPane()).find(text) != std::wstring::npos; }, 5000);
  }

  TempFolder folder_;
  std::vector<std::string> calls_;
  FlutterDesktopViewControllerRef controller_ = nullptr;
  std::unique_ptr<HostWindow> window_;
  HWND view_ = nullptr;
};

TEST_F(ConsoleTest, EachMethodRowSendsItsCallWithItsFieldsAndLogsTheReply) {
  SetWindowTextW(Field(L"playRingtone", L"filePath"), L"C:\\ring tone.wav");
  Click(Control(L"Button", L"playRingtone"));
  Click(Control(L"Button", L"stopRingtone"));
  Click(Control(L"Button", L"setVolume"));  // the field holds 0.5 at start
  SetWindowTextW(Field(L"setVolume", L"volume"), L"1L");
  Click(Control(L"Button", L"setVolume"));
  SetWindowTextW(Field(L"setVolume", L"volume"), L"");
  Click(Control(L"Button", L"setVolume"));
  SendMessageW(Field(L"getSystemAudioDevices", L"isCapture"), BM_SETCHECK, BST_INDETERMINATE, 0);
  Click(Control(L"Button", L"getSystemAudioDevices"));
  SendMessageW(Field(L"getSystemAudioDevices", L"isCapture"), BM_SETCHECK, BST_CHECKED, 0);
  Click(Control(L"Button", L"getSystemAudioDevices"));
  SetWindowTextW(Field(L"setSystemDefaultAudioDevice", L"deviceId"), L"{0.0.0.2}");
  Click(Control(L"Button", L"setSystemDefaultAudioDevice"));
  Click(Control(L"Button", L"getCrashDumpDirectory"));
  Click(Control(L"Button", L"openCrashDumpDirectory"));

  const std::vector<std::string> expected = {
      "playRingtone({\"filePath\": \"C:\\\\ring tone.wav\"})",
      "stopRingtone(null)",
      "setVolume({\"volume\": 0.5})",
      "setVolume({\"volume\": 1L})",
      "setVolume({})",
      "getSystemAudioDevices(null)",
      "getSystemAudioDevices({\"isCapture\": true})",
      "setSystemDefaultAudioDevice({\"deviceId\": \"{0.0.0.2}\", \"isCapture\": false})",
      "getCrashDumpDirectory(null)",
      "openCrashDumpDirectory(null)",
  };
  EXPECT_EQ(calls_, expected);
  ASSERT_TRUE(LogShows(L"#10 < success(true)"));
  const std::wstring log = TextOf(LogPane());
  EXPECT_NE(log.find(L"#1 > playRingtone({\"filePath\": \"C:\\\\ring tone.wav\"})\r\n"),
            std::wstring::npos)
      << "calls are logged in the typed notation";
  EXPECT_NE(log.find(L"#1 < success(true)\r\n"), std::wstring::npos) << "and so are replies";
  EXPECT_NE(log.find(L"#6 < success([{\"deviceId\": \"{0.0.0.1}\""), std::wstring::npos);
  // The listed endpoints are offered for the default-endpoint row.
  EXPECT_EQ(SendMessageW(Field(L"setSystemDefaultAudioDevice", L"deviceId"), CB_GETCOUNT, 0, 0), 2);
}

TEST_F(ConsoleTest, WrittenCallsGoToAnyChannelAndBadTextIsReportedNotSent) {
  HWND channel = Field(L"Send call", L"channel");
  HWND call = Field(L"Send call", L"call");
  SetWindowTextW(call, L"getSystemAudioDevices([1, \"two\"])");
  Click(Control(L"Button", L"Send call"));
  SetWindowTextW(call, L"setVolume({\"volume\": ");
  Click(Control(L"Button", L"Send call"));
  SetWindowTextW(Field(L"setVolume", L"volume"), L"half");
  Click(Control(L"Button", L"setVolume"));
  SetWindowTextW(channel, L"other/channel");
  SetWindowTextW(call, L"anything()");
  Click(Control(L"Button", L"Send call"));

  const std::vector<std::string> expected = {"getSystemAudioDevices([1, \"two\"])"};
  EXPECT_EQ(calls_, expected) << "only the readable call on a served channel arrives";
  ASSERT_TRUE(LogShows(L"#2 ! no handler on channel \"other/channel\""));
  const std::wstring log = TextOf(LogPane());
  EXPECT_NE(log.find(L"! call: "), std::wstring::npos) << log;
  EXPECT_NE(log.find(L"! volume: "), std::wstring::npos) << log;
}

TEST_F(ConsoleTest, ControlsFillTheViewAndFollowItsSize) {
  LONG first_log_height = 0;
  for (const SIZE size : {SIZE{720, 600}, SIZE{500, 400}, SIZE{900, 700}}) {
    MoveWindow(view_, 0, 0, size.cx, size.cy, TRUE);
    RECT log;
    GetWindowRect(LogPane(), &log);
    MapWindowPoints(nullptr, view_, reinterpret_cast<POINT*>(&log), 2);
    RECT field;
    GetWindowRect(Field(L"playRingtone", L"filePath"), &field);
    MapWindowPoints(nullptr, view_, reinterpret_cast<POINT*>(&field), 2);
    // Within a margin of the view's right and bottom edges.
    EXPECT_GT(log.right, size.cx - 20) << size.cx << "x" << size.cy;
    EXPECT_LE(log.right, size.cx) << size.cx << "x" << size.cy;
    EXPECT_GT(log.bottom, size.cy - 20) << size.cx << "x" << size.cy;
    EXPECT_LE(log.bottom, size.cy) << size.cx << "x" << size.cy;
    EXPECT_GT(field.right, size.cx - 20) << size.cx << "x" << size.cy;
    // The rows keep their height; the log pane takes what the view gains.
    if (first_log_height == 0) first_log_height = log.bottom - log.top;
    EXPECT_EQ(log.bottom - log.top, first_log_height + size.cy - 600) << size.cx << "x" << size.cy;
  }
}

TEST_F(ConsoleTest, EnterInAFieldSendsItsRowAndTabMovesOn) {
  HWND volume = Field(L"setVolume", L"volume");
  SetWindowTextW(volume, L"2");
  SendMessageW(volume, WM_KEYDOWN, VK_RETURN, 0);
  HWND call = Field(L"Send call", L"call");
  SetWindowTextW(call, L"stopRingtone(7)");
  SendMessageW(call, WM_KEYDOWN, VK_RETURN, 0);
  const std::vector<std::string> expected = {"setVolume({\"volume\": 2})", "stopRingtone(7)"};
  EXPECT_EQ(calls_, expected);

  // Tab goes from the volume field to the next control that takes the focus.
  window_ = nullptr;
  HostWindow shown(/*visible=*/true);
  Properties properties(folder_.File(L"bundle"), {});
  FlutterDesktopViewControllerRef controller =
      FlutterDesktopViewControllerCreate(720, 600, FlutterDesktopEngineCreate(properties.get()));
  shown.Adopt(controller);
  view_ = FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(controller));
  HWND field = Field(L"setVolume", L"volume");
  SetFocus(field);
  ASSERT_EQ(GetFocus(), field);
  SendMessageW(field, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(GetFocus(), Control(L"Button", L"getSystemAudioDevices"));
}

}  // namespace
