// Tests of the development embedding's own features: the trace, script mode
// (transcript, closing the window, the fault after the script) and the
// stand-in plugin libraries.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "channel/encodable_value.h"
#include "channel/method_call.h"
#include "channel/standard_method_codec.h"
#include "devkit/embedding/devkit_test_api.h"
#include "tests/devkit/embedding/devkit_test_support.h"

extern "C" {
void ConnectivityPlusWindowsPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef);
void FileSelectorWindowsRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef);
void FlutterWebRTCPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef);
void PermissionHandlerWindowsPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef);
void ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef);
void SharePlusWindowsPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef);
void TrayManagerPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef);
void UrlLauncherWindowsRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef);
void WindowManagerPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef);
}

namespace {

using devkit_test::HostWindow;
using devkit_test::MakeBundle;
using devkit_test::Properties;
using devkit_test::PumpUntil;
using devkit_test::ReadLines;
using devkit_test::Renumber;
using devkit_test::RunChildTest;
using devkit_test::TempFolder;

constexpr char kAudioChannel[] = "com.brenmo.tovan/windows_audio";

// The host side of the audio channel in the script tests: answers every call
// with success(true) at once, except "never", which it keeps unanswered, and
// answers undecodable messages with an empty response.
void AnswerCalls(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
                 void*) {
  const auto& codec = flutter::StandardMethodCodec::SharedInstance();
  auto call = codec.DecodeCall(message->message, message->message_size);
  if (!call) {
    FlutterDesktopMessengerSendResponse(messenger, message->response_handle, nullptr, 0);
    return;
  }
  if (call->GetMethodName() == "never") return;
  const flutter::EncodableValue result(true);
  auto reply = codec.EncodeSuccessReply(&result);
  FlutterDesktopMessengerSendResponse(messenger, message->response_handle, reply->data(),
                                      reply->size());
}

class FeaturesTest : public ::testing::Test {
 protected:
  void SetUp() override { MakeBundle(folder_.File(L"bundle")); }
  void TearDown() override { FlutterDevkitSetTraceFile(nullptr); }

  TempFolder folder_;
};

// ---- Script mode -------------------------------------------------------------

TEST_F(FeaturesTest, ScriptRunsAfterTheFirstFrameWritesTheTranscriptAndClosesTheWindow) {
  devkit_test::WriteWholeFile(
      folder_.File(L"script.txt"),
      "# comment, then a blank line\n"
      "\n"
      "com.brenmo.tovan/windows_audio setVolume({\"volume\": 0.5})\r\n"
      "  com.brenmo.tovan/windows_audio never()\n"
      "other/channel stopRingtone()\n"
      "com.brenmo.tovan/windows_audio hex 01 0G\n"
      "com.brenmo.tovan/windows_audio hex 01\n"
      "com.brenmo.tovan/windows_audio notACall(\n"
      "lonely/channel\n"
      "com.brenmo.tovan/windows_audio getSystemAudioDevices({\"isCapture\": true})\n"
      "@memory\n"
      "@memory now");
  Properties properties(
      folder_.File(L"bundle"),
      {"--script=" + folder_.FileUtf8(L"script.txt"),
       "--transcript=" + folder_.FileUtf8(L"transcript.txt"), "--script-timeout-ms=300",
       "--devkit-trace=" + folder_.FileUtf8(L"trace.txt")});
  FlutterDesktopEngineRef engine = FlutterDesktopEngineCreate(properties.get());
  FlutterDesktopViewControllerRef controller = FlutterDesktopViewControllerCreate(400, 300, engine);
  ASSERT_NE(controller, nullptr);
  FlutterDesktopMessengerSetCallback(FlutterDesktopEngineGetMessenger(engine), kAudioChannel,
                                     &AnswerCalls, nullptr);
  HostWindow window(/*visible=*/false);
  window.Adopt(controller);

  ASSERT_TRUE(PumpUntil([&] { return window.destroyed(); }, 30000))
      << "the script closes the top-level window";

  const auto transcript = ReadLines(folder_.File(L"transcript.txt"));
  std::string shown;
  for (const std::string& line : transcript) shown += line + "\n";
  ASSERT_EQ(transcript.size(), 16u) << shown;
  // Problems come first: they are found when the script is read.
  EXPECT_EQ(transcript[0].rfind("! line 6: hex: ", 0), 0u) << transcript[0];
  EXPECT_EQ(transcript[1].rfind("! line 8: call: ", 0), 0u) << transcript[1];
  EXPECT_EQ(transcript[2], "! line 9: no message after the channel");
  EXPECT_EQ(transcript[3], "! line 12: unknown directive @memory now");
  // The figures of "@memory" vary; a running process has private bytes and
  // handles.
  std::vector<std::string> exchanges(transcript.begin() + 4, transcript.end());
  std::smatch figures;
  ASSERT_TRUE(std::regex_match(exchanges[10], figures,
                               std::regex("= memory private=([0-9]+) handles=([0-9]+)")))
      << exchanges[10];
  EXPECT_GT(std::stoull(figures[1]), 0u);
  EXPECT_GT(std::stoull(figures[2]), 0u);
  exchanges.erase(exchanges.begin() + 10);
  const std::vector<std::string> expected = {
      "> com.brenmo.tovan/windows_audio setVolume({\"volume\": 0.5})",
      "< success(true)",
      "> com.brenmo.tovan/windows_audio never(null)",
      "< no reply",
      "> other/channel stopRingtone(null)",
      "< no handler",
      "> com.brenmo.tovan/windows_audio hex 01",
      "< notImplemented",
      "> com.brenmo.tovan/windows_audio getSystemAudioDevices({\"isCapture\": true})",
      "< success(true)",
      "end",
  };
  EXPECT_EQ(exchanges, expected);

  // The script started only after the first frame and the host's callback.
  const auto trace = ReadLines(folder_.File(L"trace.txt"));
  const int frame = devkit_test::FindLine(trace, "event frame");
  const int first_message = devkit_test::FindLine(trace, "event message");
  ASSERT_GE(frame, 0);
  EXPECT_GT(first_message, frame);
  EXPECT_GE(devkit_test::FindLine(trace, "FlutterDesktopViewControllerDestroy"), 0)
      << "the host shut down the normal way";
}

// The host may end the engine from inside the embedding's calls into it:
// from the next-frame callback, or from its channel handler while a scripted
// message is being delivered. The embedding must not touch the ended view.
FlutterDesktopViewControllerRef controller_to_end = nullptr;

void EndEngine() {
  FlutterDesktopViewControllerRef controller = controller_to_end;
  controller_to_end = nullptr;
  if (controller != nullptr) FlutterDesktopViewControllerDestroy(controller);
}

TEST_F(FeaturesTest, HostMayEndTheEngineFromItsCallbacks) {
  devkit_test::WriteWholeFile(folder_.File(L"script.txt"),
                              "com.brenmo.tovan/windows_audio stopRingtone()\n"
                              "com.brenmo.tovan/windows_audio stopRingtone()\n");
  struct Case {
    const char* name;
    bool end_in_frame_callback;
  };
  for (const Case& c : {Case{"next-frame callback", true}, Case{"channel handler", false}}) {
    Properties properties(folder_.File(L"bundle"),
                          {"--script=" + folder_.FileUtf8(L"script.txt"),
                           "--transcript=" + folder_.FileUtf8(L"transcript.txt"),
                           "--devkit-trace=" + folder_.FileUtf8(L"trace.txt")});
    FlutterDesktopEngineRef engine = FlutterDesktopEngineCreate(properties.get());
    controller_to_end = FlutterDesktopViewControllerCreate(400, 300, engine);
    ASSERT_NE(controller_to_end, nullptr) << c.name;
    if (c.end_in_frame_callback) {
      FlutterDesktopEngineSetNextFrameCallback(
          engine, [](void*) { EndEngine(); }, nullptr);
    } else {
      FlutterDesktopMessengerSetCallback(
          FlutterDesktopEngineGetMessenger(engine), kAudioChannel,
          [](FlutterDesktopMessengerRef, const FlutterDesktopMessage*, void*) { EndEngine(); },
          nullptr);
    }
    EXPECT_TRUE(PumpUntil([] { return controller_to_end == nullptr; })) << c.name;
    devkit_test::PumpFor(200);
    const auto trace = ReadLines(folder_.File(L"trace.txt"));
    EXPECT_EQ(devkit_test::LinesWith(trace, "event message").size(),
              c.end_in_frame_callback ? 0u : 1u)
        << c.name << ": nothing is sent once the engine has ended";
  }
}

// Run by the test below in a child process, in the parent's folder (the
// child ends by its fault, so it must own nothing that needs cleaning up):
// the script ends with a fault on the UI thread, which a vectored handler
// turns into a known exit code.
TEST(FaultAfterScriptChild, DISABLED_Run) {
  const wchar_t* folder = _wgetenv(L"DEVKIT_CHILD_FOLDER");
  if (folder == nullptr) GTEST_SKIP() << "only run as a child process";
  AddVectoredExceptionHandler(1, [](EXCEPTION_POINTERS* exception) -> LONG {
    if (exception->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION) {
      TerminateProcess(GetCurrentProcess(), 0x7D);
    }
    return EXCEPTION_CONTINUE_SEARCH;
  });
  const std::string base = devkit_test::Narrow(folder);
  Properties properties(std::wstring(folder) + L"\\bundle",
                        {"--script=" + base + "\\script.txt",
                         "--transcript=" + base + "\\transcript.txt", "--crash-after-script"});
  FlutterDesktopEngineRef engine = FlutterDesktopEngineCreate(properties.get());
  FlutterDesktopViewControllerRef controller = FlutterDesktopViewControllerCreate(400, 300, engine);
  FlutterDesktopMessengerSetCallback(FlutterDesktopEngineGetMessenger(engine), kAudioChannel,
                                     &AnswerCalls, nullptr);
  HostWindow window(/*visible=*/false);
  window.Adopt(controller);
  PumpUntil([&] { return window.destroyed(); }, 20000);
  // Reaching this line means there was no fault.
  std::exit(3);
}

TEST_F(FeaturesTest, CrashAfterScriptFaultsOnTheUiThreadInsteadOfClosing) {
  devkit_test::WriteWholeFile(folder_.File(L"script.txt"),
                              "com.brenmo.tovan/windows_audio stopRingtone()\n");
  const DWORD exit_code = RunChildTest(L"FaultAfterScriptChild.DISABLED_Run",
                                       {{L"DEVKIT_CHILD_FOLDER", folder_.path()}});
  EXPECT_EQ(exit_code, 0x7Du) << "the access violation reached the process's handler";
  const auto transcript = ReadLines(folder_.File(L"transcript.txt"));
  const std::vector<std::string> expected = {"> com.brenmo.tovan/windows_audio stopRingtone(null)",
                                             "< success(true)", "end"};
  EXPECT_EQ(transcript, expected);
}

// ---- Trace -------------------------------------------------------------------

void NoteRegistrarEnd(FlutterDesktopPluginRegistrarRef) { FlutterDevkitTrace("handler ran"); }
void IgnoreResponse(const uint8_t*, size_t, void*) {}
void KeepResponse(FlutterDesktopMessengerRef, const FlutterDesktopMessage* message,
                  void* response) {
  *static_cast<const FlutterDesktopMessageResponseHandle**>(response) = message->response_handle;
}

TEST_F(FeaturesTest, TraceRecordsEveryCallInOrderWithItsArguments) {
  // A bundle beside the executable, named relatively, so that the paths in
  // the trace are the same on every run.
  const std::wstring bundle = devkit_test::ExecutableFolder() + L"\\devkit_trace_bundle";
  MakeBundle(bundle);
  FlutterDevkitSetTraceFile(folder_.FileUtf8(L"trace.txt").c_str());

  FlutterDesktopResyncOutputStreams();
  Properties properties(L"devkit_trace_bundle",
                        {"plain", "tab\there", "caf\xC3\xA9", "quote\"back\\"});
  properties.entrypoint = "main";
  properties.settings[0] = 1;
  properties.settings[1] = -2;
  properties.settings[2] = 3;
  properties.settings[3] = 4;
  FlutterDesktopEngineRef engine = FlutterDesktopEngineCreate(properties.get());
  FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(engine);
  FlutterDesktopViewControllerRef controller = FlutterDesktopViewControllerCreate(400, 300, engine);
  FlutterDesktopPluginRegistrarRef connectivity =
      FlutterDesktopEngineGetPluginRegistrar(engine, "ConnectivityPlusWindowsPlugin");
  ConnectivityPlusWindowsPluginRegisterWithRegistrar(connectivity);
  FlutterDesktopPluginRegistrarRef audio =
      FlutterDesktopEngineGetPluginRegistrar(engine, "WindowsAudioPlugin");
  FlutterDesktopPluginRegistrarGetMessenger(audio);
  FlutterDesktopRegistrarGetTextureRegistrar(audio);
  FlutterDesktopPluginRegistrarGetView(audio);
  FlutterDesktopPluginRegistrarSetDestructionHandler(audio, &NoteRegistrarEnd);
  const FlutterDesktopMessageResponseHandle* response = nullptr;
  FlutterDesktopMessengerSetCallback(messenger, kAudioChannel, &KeepResponse, &response);
  FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(controller));
  FlutterDesktopEngineSetNextFrameCallback(
      engine, [](void*) {}, nullptr);
  FlutterDesktopViewControllerForceRedraw(controller);
  const uint8_t message[] = {1, 2, 3, 4, 5};
  FlutterDevkitDeliverMessage(messenger, kAudioChannel, message, sizeof(message), &IgnoreResponse,
                              nullptr);
  FlutterDesktopMessengerAddRef(messenger);
  FlutterDesktopMessengerLock(messenger);
  FlutterDesktopMessengerIsAvailable(messenger);
  const uint8_t reply[] = {0, 1};
  FlutterDesktopMessengerSendResponse(messenger, response, reply, sizeof(reply));
  FlutterDesktopMessengerUnlock(messenger);
  FlutterDesktopMessengerRelease(messenger);
  LRESULT result = 0;
  FlutterDesktopViewControllerHandleTopLevelWindowProc(controller, nullptr, WM_DESTROY, 0, 0,
                                                       &result);
  FlutterDesktopViewControllerDestroy(controller);
  FlutterDesktopGetDpiForMonitor(nullptr);

  const std::vector<std::string> expected = {
      "FlutterDesktopResyncOutputStreams",
      "FlutterDesktopEngineCreate assets=\"devkit_trace_bundle\\\\flutter_assets\" "
      "icu=\"devkit_trace_bundle\\\\icudtl.dat\" aot=\"devkit_trace_bundle\\\\app.so\" "
      "entrypoint=\"main\" argc=4 "
      "argv=[\"plain\",\"tab\\x09here\",\"caf\\xC3\\xA9\",\"quote\\\"back\\\\\"] "
      "settings=[1,-2,3,4] -> engine#1",
      "FlutterDesktopEngineGetMessenger engine=engine#1 -> messenger#1",
      "FlutterDesktopViewControllerCreate width=400 height=300 engine=engine#1 -> controller#1",
      "FlutterDesktopEngineGetPluginRegistrar engine=engine#1 "
      "plugin=\"ConnectivityPlusWindowsPlugin\" -> registrar#1",
      "plugin connectivity_plus_plugin.dll ConnectivityPlusWindowsPluginRegisterWithRegistrar "
      "registrar=registrar#1",
      "FlutterDesktopEngineGetPluginRegistrar engine=engine#1 plugin=\"WindowsAudioPlugin\" -> "
      "registrar#2",
      "FlutterDesktopPluginRegistrarGetMessenger registrar=registrar#2 -> messenger#2",
      "FlutterDesktopRegistrarGetTextureRegistrar registrar=registrar#2 -> textures#1",
      "FlutterDesktopPluginRegistrarGetView registrar=registrar#2 -> view#1",
      "FlutterDesktopPluginRegistrarSetDestructionHandler registrar=registrar#2 handler=set",
      "FlutterDesktopMessengerSetCallback messenger=messenger#1 "
      "channel=\"com.brenmo.tovan/windows_audio\" callback=set",
      "FlutterDesktopViewControllerGetView controller=controller#1 -> view#1",
      "FlutterDesktopViewGetHWND view=view#1 -> hwnd",
      "FlutterDesktopEngineSetNextFrameCallback engine=engine#1 callback=set",
      "FlutterDesktopViewControllerForceRedraw controller=controller#1",
      "FlutterDevkitDeliverMessage messenger=messenger#1 "
      "channel=\"com.brenmo.tovan/windows_audio\" "
      "size=5",
      "event message channel=\"com.brenmo.tovan/windows_audio\" size=5 response=response#1",
      "FlutterDesktopMessengerAddRef messenger=messenger#1 -> messenger#1 refs=2",
      "FlutterDesktopMessengerLock messenger=messenger#1 -> messenger#1",
      "FlutterDesktopMessengerIsAvailable messenger=messenger#1 -> true",
      "FlutterDesktopMessengerSendResponse messenger=messenger#1 response=response#1 size=2 -> "
      "sent",
      "FlutterDesktopMessengerUnlock messenger=messenger#1",
      "FlutterDesktopMessengerRelease messenger=messenger#1 refs=1",
      "FlutterDesktopViewControllerHandleTopLevelWindowProc controller=controller#1 "
      "message=0x0002 -> false",
      "FlutterDesktopViewControllerDestroy controller=controller#1",
      "event engine-shutdown engine=engine#1",
      "event registrar-destroyed registrar=registrar#1 plugin=\"ConnectivityPlusWindowsPlugin\" "
      "handler=null",
      "event registrar-destroyed registrar=registrar#2 plugin=\"WindowsAudioPlugin\" handler=set",
      "note handler ran",
      "FlutterDesktopGetDpiForMonitor monitor=null -> 96",
  };
  EXPECT_EQ(Renumber(ReadLines(folder_.File(L"trace.txt"))), expected);
  devkit_test::RemoveTree(bundle);
}

// Run in a child process, whose library has not traced yet: calls made
// before any engine names the trace file (the host's window asks for the DPI
// first) are written to it once an engine does; the environment variable
// names a file from the first call on.
TEST(TraceDestinationChild, DISABLED_Run) {
  const wchar_t* folder = _wgetenv(L"DEVKIT_CHILD_FOLDER");
  if (folder == nullptr) GTEST_SKIP() << "only run as a child process";
  FlutterDesktopGetDpiForMonitor(nullptr);
  Properties properties(std::wstring(folder) + L"\\bundle",
                        {"--devkit-trace=" + devkit_test::Narrow(folder) + "\\from-argument.txt"});
  FlutterDesktopEngineDestroy(FlutterDesktopEngineCreate(properties.get()));
}

TEST_F(FeaturesTest, TraceGoesToTheArgumentsFileWithEarlierCallsOrToTheEnvironmentsFile) {
  ASSERT_EQ(RunChildTest(L"TraceDestinationChild.DISABLED_Run",
                         {{L"DEVKIT_CHILD_FOLDER", folder_.path()}}),
            0u);
  auto lines = ReadLines(folder_.File(L"from-argument.txt"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "FlutterDesktopGetDpiForMonitor monitor=null -> 96") << "held back";
  EXPECT_EQ(lines[1].rfind("FlutterDesktopEngineCreate ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2], "FlutterDesktopEngineDestroy engine=engine#1 -> true");
  EXPECT_EQ(lines[3], "event engine-shutdown engine=engine#1");

  // The environment's file takes the lines from the first call; an engine's
  // argument then moves the trace to its own file.
  ASSERT_EQ(RunChildTest(L"TraceDestinationChild.DISABLED_Run",
                         {{L"DEVKIT_CHILD_FOLDER", folder_.path()},
                          {L"TOVAN_DEVKIT_TRACE", folder_.File(L"from-environment.txt")}}),
            0u);
  lines = ReadLines(folder_.File(L"from-environment.txt"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "FlutterDesktopGetDpiForMonitor monitor=null -> 96");
  EXPECT_EQ(ReadLines(folder_.File(L"from-argument.txt")).size(), 3u);
}

// ---- Stand-in plugins ----------------------------------------------------------

TEST_F(FeaturesTest, EachStandInPluginRecordsItsRegistrationWithItsRegistrar) {
  struct Case {
    const char* library;
    const char* function;
    void (*entry)(FlutterDesktopPluginRegistrarRef);
  };
  const Case cases[] = {
      {"connectivity_plus_plugin.dll", "ConnectivityPlusWindowsPluginRegisterWithRegistrar",
       &ConnectivityPlusWindowsPluginRegisterWithRegistrar},
      {"file_selector_windows_plugin.dll", "FileSelectorWindowsRegisterWithRegistrar",
       &FileSelectorWindowsRegisterWithRegistrar},
      {"flutter_webrtc_plugin.dll", "FlutterWebRTCPluginRegisterWithRegistrar",
       &FlutterWebRTCPluginRegisterWithRegistrar},
      {"permission_handler_windows_plugin.dll",
       "PermissionHandlerWindowsPluginRegisterWithRegistrar",
       &PermissionHandlerWindowsPluginRegisterWithRegistrar},
      {"screen_retriever_windows_plugin.dll",
       "ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar",
       &ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar},
      {"share_plus_plugin.dll", "SharePlusWindowsPluginCApiRegisterWithRegistrar",
       &SharePlusWindowsPluginCApiRegisterWithRegistrar},
      {"tray_manager_plugin.dll", "TrayManagerPluginRegisterWithRegistrar",
       &TrayManagerPluginRegisterWithRegistrar},
      {"url_launcher_windows_plugin.dll", "UrlLauncherWindowsRegisterWithRegistrar",
       &UrlLauncherWindowsRegisterWithRegistrar},
      {"window_manager_plugin.dll", "WindowManagerPluginRegisterWithRegistrar",
       &WindowManagerPluginRegisterWithRegistrar},
  };
  Properties properties(folder_.File(L"bundle"),
                        {"--devkit-trace=" + folder_.FileUtf8(L"trace.txt")});
  FlutterDesktopEngineRef engine = FlutterDesktopEngineCreate(properties.get());
  for (const Case& c : cases) {
    c.entry(FlutterDesktopEngineGetPluginRegistrar(engine, c.function));
    const auto lines = ReadLines(folder_.File(L"trace.txt"));
    ASSERT_GE(lines.size(), 2u) << c.library;
    // The registrar the engine gave out is the one the plugin recorded.
    const std::string given =
        lines[lines.size() - 2].substr(lines[lines.size() - 2].rfind(' ') + 1);
    EXPECT_EQ(lines.back(),
              std::string("plugin ") + c.library + " " + c.function + " registrar=" + given)
        << c.library;
  }
  WindowManagerPluginRegisterWithRegistrar(nullptr);
  EXPECT_EQ(ReadLines(folder_.File(L"trace.txt")).back(),
            "plugin window_manager_plugin.dll WindowManagerPluginRegisterWithRegistrar "
            "registrar=null");
  EXPECT_TRUE(FlutterDesktopEngineDestroy(engine)) << "never taken over";
}

}  // namespace
