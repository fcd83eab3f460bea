// Tests of the development embedding's own guarantees: what the host relies
// on from flutter_windows.dll (bundle check, messenger, registrars, frames,
// textures, window messages) and the devkit's own features (trace, script
// mode, stand-in plugins). They drive the library through its C interface
// with real windows and a real message loop.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "channel/encodable_value.h"
#include "channel/method_call.h"
#include "channel/standard_method_codec.h"
#include "devkit/embedding/devkit_test_api.h"
#include "tests/devkit/embedding/devkit_test_support.h"

namespace {

using devkit_test::BundlePart;
using devkit_test::FindLine;
using devkit_test::HostWindow;
using devkit_test::LinesWith;
using devkit_test::MakeBundle;
using devkit_test::Properties;
using devkit_test::PumpFor;
using devkit_test::PumpUntil;
using devkit_test::ReadLines;
using devkit_test::RecordResponse;
using devkit_test::Renumber;
using devkit_test::Responses;
using devkit_test::TempFolder;

constexpr char kAudioChannel[] = "com.brenmo.tovan/windows_audio";

// What the host side of a channel saw: the messages and their response
// handles, kept for answering later.
struct HostChannel {
  FlutterDesktopMessengerRef messenger = nullptr;
  std::vector<std::vector<uint8_t>> messages;
  std::vector<const FlutterDesktopMessageResponseHandle*> responses;
  std::vector<DWORD> threads;
};

void KeepMessage(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
                 void* user_data) {
  auto* channel = static_cast<HostChannel*>(user_data);
  channel->messenger = messenger;
  channel->messages.emplace_back(message->message, message->message + message->message_size);
  channel->responses.push_back(message->response_handle);
  channel->threads.push_back(GetCurrentThreadId());
}

const std::vector<uint8_t> kMessage = {0x07, 0x03, 'a', 'b', 'c'};

class EmbeddingTest : public ::testing::Test {
 protected:
  void SetUp() override { MakeBundle(folder_.File(L"bundle")); }

  void TearDown() override {
    if (controller_ != nullptr && !window_owns_controller_) {
      FlutterDesktopViewControllerDestroy(controller_);
    }
    // Lets the temporary folder (and the trace file in it) go.
    FlutterDevkitSetTraceFile(nullptr);
  }

  std::vector<std::string> Arguments(std::vector<std::string> extra = {}) {
    std::vector<std::string> arguments = {"--devkit-trace=" + folder_.FileUtf8(L"trace.txt")};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return arguments;
  }

  FlutterDesktopEngineRef CreateEngine(std::vector<std::string> extra = {}) {
    Properties properties(folder_.File(L"bundle"), Arguments(std::move(extra)));
    return FlutterDesktopEngineCreate(properties.get());
  }

  // Creates an engine and starts it under a view controller the fixture
  // destroys at the end (unless the test has already done so).
  FlutterDesktopEngineRef StartEngine(std::vector<std::string> extra = {}) {
    FlutterDesktopEngineRef engine = CreateEngine(std::move(extra));
    controller_ = FlutterDesktopViewControllerCreate(320, 240, engine);
    return engine;
  }

  // The window destroys the controller when it goes, as the host's does.
  void AdoptInto(HostWindow& window) {
    window.Adopt(controller_);
    window_owns_controller_ = true;
  }

  void DestroyController() {
    FlutterDesktopViewControllerDestroy(controller_);
    controller_ = nullptr;
  }

  std::vector<std::string> TraceLines() { return ReadLines(folder_.File(L"trace.txt")); }

  TempFolder folder_;
  FlutterDesktopViewControllerRef controller_ = nullptr;
  bool window_owns_controller_ = false;
};

// ---- Bundle ----------------------------------------------------------------

TEST_F(EmbeddingTest, ViewControllerIsNullWhenAnyPartOfTheBundleIsMissing) {
  struct Case {
    const char* name;
    BundlePart missing;
    const char* traced;
  };
  const Case cases[] = {
      {"no flutter_assets", BundlePart::kAssets, "flutter_assets\""},
      {"no icudtl.dat", BundlePart::kIcuData, "icudtl.dat\""},
      {"no app.so", BundlePart::kAotLibrary, "app.so\""},
  };
  for (const Case& c : cases) {
    TempFolder bundle;
    MakeBundle(bundle.path(), c.missing);
    Properties properties(bundle.path(), Arguments());
    FlutterDesktopEngineRef engine = FlutterDesktopEngineCreate(properties.get());
    ASSERT_NE(engine, nullptr) << c.name;
    FlutterDesktopMessengerRef messenger =
        FlutterDesktopMessengerAddRef(FlutterDesktopEngineGetMessenger(engine));

    EXPECT_EQ(FlutterDesktopViewControllerCreate(320, 240, engine), nullptr) << c.name;

    // The failed controller still took the engine over and ended it.
    EXPECT_FALSE(FlutterDesktopMessengerIsAvailable(messenger)) << c.name;
    FlutterDesktopMessengerRelease(messenger);
    const auto created = LinesWith(TraceLines(), "FlutterDesktopViewControllerCreate");
    ASSERT_EQ(created.size(), 1u) << c.name;
    EXPECT_NE(created[0].find("-> null missing="), std::string::npos) << c.name;
    EXPECT_NE(created[0].find(c.traced), std::string::npos) << c.name << ": " << created[0];
  }
  StartEngine();
  EXPECT_NE(controller_, nullptr) << "complete bundle";
}

TEST_F(EmbeddingTest, RelativeBundlePathsAreTakenFromTheExecutableFolder) {
  const std::wstring name = L"devkit_relative_bundle_" + std::to_wstring(GetCurrentProcessId());
  const std::wstring bundle = devkit_test::ExecutableFolder() + L"\\" + name;
  MakeBundle(bundle);
  // The working folder is somewhere else, so only the executable's folder
  // can make the relative paths resolve.
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  SetCurrentDirectoryW(folder_.path().c_str());

  Properties properties(name, Arguments());
  FlutterDesktopEngineRef engine = FlutterDesktopEngineCreate(properties.get());
  controller_ = FlutterDesktopViewControllerCreate(320, 240, engine);
  EXPECT_NE(controller_, nullptr);

  SetCurrentDirectoryW(previous);
  devkit_test::RemoveTree(bundle);
}

// ---- Messenger -------------------------------------------------------------

TEST_F(EmbeddingTest, ResponseReachesTheUiAndNothingIsDeliveredAfterShutdown) {
  FlutterDesktopEngineRef engine = StartEngine();
  FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(engine);
  HostChannel host;
  FlutterDesktopMessengerSetCallback(messenger, kAudioChannel, &KeepMessage, &host);
  Responses responses;

  ASSERT_TRUE(FlutterDevkitDeliverMessage(messenger, kAudioChannel, kMessage.data(),
                                          kMessage.size(), &RecordResponse, &responses));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], kMessage);
  EXPECT_EQ(host.threads[0], GetCurrentThreadId()) << "delivered on the calling (UI) thread";
  const uint8_t first[] = {0x00, 0x01};
  FlutterDesktopMessengerSendResponse(messenger, host.responses[0], first, sizeof(first));
  ASSERT_EQ(responses.received.size(), 1u);
  EXPECT_EQ(responses.received[0], std::vector<uint8_t>(first, first + sizeof(first)));

  // A message still owed when the engine goes is never answered. (Answering
  // it, or answering one twice, breaks the contract: contract_test.cc.)
  FlutterDesktopMessengerRef kept = FlutterDesktopMessengerAddRef(messenger);
  ASSERT_TRUE(FlutterDevkitDeliverMessage(messenger, kAudioChannel, kMessage.data(),
                                          kMessage.size(), &RecordResponse, &responses));
  DestroyController();
  EXPECT_FALSE(FlutterDesktopMessengerIsAvailable(kept));
  EXPECT_FALSE(FlutterDevkitDeliverMessage(kept, kAudioChannel, kMessage.data(), kMessage.size(),
                                           &RecordResponse, &responses));
  FlutterDesktopMessengerRelease(kept);
  EXPECT_EQ(responses.received.size(), 1u);

  const auto sent = LinesWith(TraceLines(), "FlutterDesktopMessengerSendResponse");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_NE(sent[0].find("size=2 -> sent"), std::string::npos) << sent[0];
}

TEST_F(EmbeddingTest, MessengerHandleStaysValidAfterTheEngineUntilReleased) {
  FlutterDesktopEngineRef engine = StartEngine();
  FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(engine);
  EXPECT_TRUE(FlutterDesktopMessengerIsAvailable(messenger));
  EXPECT_EQ(FlutterDesktopMessengerAddRef(messenger), messenger);
  EXPECT_EQ(FlutterDesktopMessengerAddRef(messenger), messenger);

  DestroyController();
  EXPECT_FALSE(FlutterDesktopMessengerIsAvailable(messenger)) << "false once the engine is gone";
  EXPECT_EQ(FlutterDesktopMessengerLock(messenger), messenger) << "still a valid handle";
  FlutterDesktopMessengerUnlock(messenger);
  FlutterDesktopMessengerRelease(messenger);
  EXPECT_EQ(FlutterDesktopMessengerLock(messenger), messenger) << "one reference left";
  FlutterDesktopMessengerUnlock(messenger);
  FlutterDesktopMessengerRelease(messenger);

  // The last reference is gone: the library no longer knows the handle.
  const auto released = LinesWith(TraceLines(), "FlutterDesktopMessengerRelease");
  ASSERT_EQ(released.size(), 2u);
  EXPECT_NE(released[0].find("refs=1"), std::string::npos) << released[0];
  EXPECT_NE(released[1].find("refs=0"), std::string::npos) << released[1];
}

TEST_F(EmbeddingTest, OneCallbackPerChannelAndANullCallbackClearsIt) {
  FlutterDesktopEngineRef engine = StartEngine();
  FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(engine);
  HostChannel first;
  HostChannel second;
  HostChannel other;
  Responses responses;
  FlutterDesktopMessengerSetCallback(messenger, kAudioChannel, &KeepMessage, &first);
  FlutterDesktopMessengerSetCallback(messenger, kAudioChannel, &KeepMessage, &second);
  FlutterDesktopMessengerSetCallback(messenger, "other", &KeepMessage, &other);

  EXPECT_TRUE(FlutterDevkitDeliverMessage(messenger, kAudioChannel, kMessage.data(),
                                          kMessage.size(), &RecordResponse, &responses));
  EXPECT_EQ(first.messages.size(), 0u) << "replaced callback";
  EXPECT_EQ(second.messages.size(), 1u) << "current callback";

  FlutterDesktopMessengerSetCallback(messenger, kAudioChannel, nullptr, nullptr);
  EXPECT_FALSE(FlutterDevkitDeliverMessage(messenger, kAudioChannel, kMessage.data(),
                                           kMessage.size(), &RecordResponse, &responses));
  EXPECT_FALSE(FlutterDevkitDeliverMessage(messenger, "never registered", kMessage.data(),
                                           kMessage.size(), &RecordResponse, &responses));
  EXPECT_TRUE(FlutterDevkitDeliverMessage(messenger, "other", kMessage.data(), kMessage.size(),
                                          &RecordResponse, &responses));
  EXPECT_EQ(other.messages.size(), 1u);
  EXPECT_TRUE(responses.received.empty()) << "refused deliveries never answer";
}

TEST_F(EmbeddingTest, MessengerLockIsExclusiveAndReentrant) {
  FlutterDesktopEngineRef engine = StartEngine();
  FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(engine);

  ASSERT_EQ(FlutterDesktopMessengerLock(messenger), messenger);
  ASSERT_EQ(FlutterDesktopMessengerLock(messenger), messenger) << "the owner may lock again";
  std::atomic<bool> other_has_lock{false};
  std::thread other([&] {
    FlutterDesktopMessengerRef locked = FlutterDesktopMessengerLock(messenger);
    other_has_lock = true;
    FlutterDesktopMessengerUnlock(locked);
  });
  Sleep(100);
  EXPECT_FALSE(other_has_lock) << "another thread waits while the lock is held";
  FlutterDesktopMessengerUnlock(messenger);
  Sleep(50);
  EXPECT_FALSE(other_has_lock) << "still held once";
  FlutterDesktopMessengerUnlock(messenger);
  other.join();
  EXPECT_TRUE(other_has_lock);
}

TEST_F(EmbeddingTest, ResponseFromAnotherThreadUnderTheLockReachesTheUi) {
  FlutterDesktopEngineRef engine = StartEngine();
  FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(engine);
  HostChannel host;
  Responses responses;
  FlutterDesktopMessengerSetCallback(messenger, kAudioChannel, &KeepMessage, &host);
  ASSERT_TRUE(FlutterDevkitDeliverMessage(messenger, kAudioChannel, kMessage.data(),
                                          kMessage.size(), &RecordResponse, &responses));
  DWORD worker_id = 0;
  std::thread worker([&] {
    worker_id = GetCurrentThreadId();
    FlutterDesktopMessengerRef locked = FlutterDesktopMessengerLock(messenger);
    if (FlutterDesktopMessengerIsAvailable(messenger)) {
      const uint8_t reply[] = {0x00, 0x00};
      FlutterDesktopMessengerSendResponse(messenger, host.responses[0], reply, sizeof(reply));
    }
    FlutterDesktopMessengerUnlock(locked);
  });
  worker.join();
  ASSERT_EQ(responses.received.size(), 1u);
  EXPECT_EQ(responses.threads[0], worker_id);
  const auto sent = LinesWith(TraceLines(), "FlutterDesktopMessengerSendResponse");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_NE(sent[0].find("-> sent thread=other"), std::string::npos) << sent[0];
}

TEST_F(EmbeddingTest, SendWithReplyAnswersEmptyOnTheUiThreadOnlyWhileRunning) {
  struct Replies {
    int count = 0;
    size_t size = 99;
    DWORD thread = 0;
  } replies;
  auto on_reply = [](const uint8_t*, size_t size, void* user_data) {
    auto* r = static_cast<Replies*>(user_data);
    ++r->count;
    r->size = size;
    r->thread = GetCurrentThreadId();
  };
  FlutterDesktopEngineRef engine = CreateEngine();
  FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(engine);
  EXPECT_FALSE(FlutterDesktopMessengerSendWithReply(messenger, "ui/channel", kMessage.data(),
                                                    kMessage.size(), on_reply, &replies))
      << "not running yet";
  controller_ = FlutterDesktopViewControllerCreate(320, 240, engine);
  EXPECT_TRUE(FlutterDesktopMessengerSendWithReply(messenger, "ui/channel", kMessage.data(),
                                                   kMessage.size(), on_reply, &replies));
  EXPECT_EQ(replies.count, 0) << "the reply comes later, from the message loop";
  EXPECT_TRUE(PumpUntil([&] { return replies.count > 0; }));
  PumpFor(100);
  EXPECT_EQ(replies.count, 1);
  EXPECT_EQ(replies.size, 0u);
  EXPECT_EQ(replies.thread, GetCurrentThreadId());
  EXPECT_TRUE(
      FlutterDesktopMessengerSend(messenger, "ui/channel", kMessage.data(), kMessage.size()));

  FlutterDesktopMessengerAddRef(messenger);
  DestroyController();
  EXPECT_FALSE(FlutterDesktopMessengerSendWithReply(messenger, "ui/channel", kMessage.data(),
                                                    kMessage.size(), on_reply, &replies));
  EXPECT_FALSE(
      FlutterDesktopMessengerSend(messenger, "ui/channel", kMessage.data(), kMessage.size()));
  FlutterDesktopMessengerRelease(messenger);
  PumpFor(50);
  EXPECT_EQ(replies.count, 1);
}

// ---- Registrars ------------------------------------------------------------

std::vector<FlutterDesktopPluginRegistrarRef>* destroyed_registrars = nullptr;

void RecordRegistrarEnd(FlutterDesktopPluginRegistrarRef registrar) {
  destroyed_registrars->push_back(registrar);
}

TEST_F(EmbeddingTest, OneRegistrarPerPluginNameAndDestructionHandlersRunOnce) {
  std::vector<FlutterDesktopPluginRegistrarRef> ended;
  destroyed_registrars = &ended;
  FlutterDesktopEngineRef engine = StartEngine();
  FlutterDesktopPluginRegistrarRef first = FlutterDesktopEngineGetPluginRegistrar(engine, "First");
  FlutterDesktopPluginRegistrarRef again = FlutterDesktopEngineGetPluginRegistrar(engine, "First");
  FlutterDesktopPluginRegistrarRef second =
      FlutterDesktopEngineGetPluginRegistrar(engine, "Second");
  FlutterDesktopPluginRegistrarRef unhandled =
      FlutterDesktopEngineGetPluginRegistrar(engine, "Third");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, again) << "same name, same registrar";
  EXPECT_NE(first, second);
  EXPECT_NE(second, unhandled);

  // Each registrar has a messenger handle of its own, so the trace tells
  // which one a channel was installed on; messages reach it either way.
  FlutterDesktopMessengerRef first_messenger = FlutterDesktopPluginRegistrarGetMessenger(first);
  EXPECT_NE(first_messenger, FlutterDesktopEngineGetMessenger(engine));
  EXPECT_NE(first_messenger, FlutterDesktopPluginRegistrarGetMessenger(second));
  EXPECT_EQ(first_messenger, FlutterDesktopPluginRegistrarGetMessenger(again));
  HostChannel host;
  Responses responses;
  FlutterDesktopMessengerSetCallback(first_messenger, kAudioChannel, &KeepMessage, &host);
  ASSERT_TRUE(FlutterDevkitDeliverMessage(FlutterDesktopEngineGetMessenger(engine), kAudioChannel,
                                          kMessage.data(), kMessage.size(), &RecordResponse,
                                          &responses));
  EXPECT_EQ(host.messenger, first_messenger) << "delivered with the handle it was installed on";
  const uint8_t reply[] = {0x00};
  FlutterDesktopMessengerSendResponse(host.messenger, host.responses[0], reply, sizeof(reply));
  EXPECT_EQ(responses.received.size(), 1u);
  EXPECT_NE(FlutterDesktopRegistrarGetTextureRegistrar(first), nullptr);
  EXPECT_EQ(FlutterDesktopPluginRegistrarGetView(first),
            FlutterDesktopViewControllerGetView(controller_));

  // Set twice, as the registrar cache does on every request: still one call.
  FlutterDesktopPluginRegistrarSetDestructionHandler(second, &RecordRegistrarEnd);
  FlutterDesktopPluginRegistrarSetDestructionHandler(first, &RecordRegistrarEnd);
  FlutterDesktopPluginRegistrarSetDestructionHandler(first, &RecordRegistrarEnd);
  EXPECT_TRUE(ended.empty());

  DestroyController();
  ASSERT_EQ(ended.size(), 2u);
  EXPECT_EQ(ended[0], first) << "in order of creation";
  EXPECT_EQ(ended[1], second);
  destroyed_registrars = nullptr;
}

// ---- Frames ----------------------------------------------------------------

struct FrameCounter {
  int calls = 0;
};

void CountFrame(void* user_data) { ++static_cast<FrameCounter*>(user_data)->calls; }

TEST_F(EmbeddingTest, NextFrameCallbackRunsOnceAfterTheFirstPaint) {
  HostWindow window(/*visible=*/true);
  FlutterDesktopEngineRef engine = StartEngine();
  AdoptInto(window);
  FrameCounter counter;
  FlutterDesktopEngineSetNextFrameCallback(engine, &CountFrame, &counter);
  FlutterDesktopViewControllerForceRedraw(controller_);
  EXPECT_EQ(counter.calls, 0) << "never from inside the call";

  ASSERT_TRUE(PumpUntil([&] { return counter.calls > 0; }));
  FlutterDesktopViewControllerForceRedraw(controller_);
  PumpFor(200);
  EXPECT_EQ(counter.calls, 1) << "once per callback, not once per frame";

  FrameCounter next;
  FlutterDesktopEngineSetNextFrameCallback(engine, &CountFrame, &next);
  FlutterDesktopViewControllerForceRedraw(controller_);
  ASSERT_TRUE(PumpUntil([&] { return next.calls > 0; }));
  EXPECT_EQ(counter.calls, 1);

  const auto lines = TraceLines();
  const int frame = FindLine(lines, "event frame");
  const int callback = FindLine(lines, "event next-frame");
  ASSERT_GE(frame, 0);
  EXPECT_GT(callback, frame) << "the callback follows a frame";
}

TEST_F(EmbeddingTest, NextFrameCallbackAlsoRunsWhileTheHostKeepsItsWindowHidden) {
  // The host shows its window only after the first frame, so a frame must
  // be produced while the window is hidden.
  HostWindow window(/*visible=*/false);
  FlutterDesktopEngineRef engine = StartEngine();
  AdoptInto(window);
  FrameCounter counter;
  FlutterDesktopEngineSetNextFrameCallback(engine, &CountFrame, &counter);
  FlutterDesktopViewControllerForceRedraw(controller_);
  ASSERT_TRUE(PumpUntil([&] { return counter.calls > 0; }));
  EXPECT_EQ(counter.calls, 1);
}

TEST_F(EmbeddingTest, TopLevelWindowMessagesAreLeftToTheHostExceptASettingsChange) {
  HostWindow window(/*visible=*/false);
  StartEngine();
  AdoptInto(window);
  const UINT messages[] = {WM_DESTROY,    WM_SIZE,  WM_ACTIVATE, WM_FONTCHANGE,
                           WM_DPICHANGED, WM_CLOSE, WM_PAINT};
  for (UINT message : messages) {
    LRESULT result = 12345;
    EXPECT_FALSE(FlutterDesktopViewControllerHandleTopLevelWindowProc(controller_, window.hwnd(),
                                                                      message, 0, 0, &result))
        << "message 0x" << std::hex << message;
    EXPECT_EQ(result, 12345) << "message 0x" << std::hex << message;
  }
  LRESULT result = 12345;
  EXPECT_TRUE(FlutterDesktopViewControllerHandleTopLevelWindowProc(
      controller_, window.hwnd(), WM_SETTINGCHANGE, 0, 0, &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(LinesWith(TraceLines(), "message=0x001A -> true result=0").size(), 1u);
}

// ---- Textures, DPI -----------------------------------------------------------

const FlutterDesktopPixelBuffer* NoPixels(size_t, size_t, void*) { return nullptr; }
const FlutterDesktopGpuSurfaceDescriptor* NoSurface(size_t, size_t, void*) { return nullptr; }

TEST_F(EmbeddingTest, TextureTableGivesIdsAndForgetsUnregisteredTextures) {
  FlutterDesktopEngineRef engine = StartEngine();
  FlutterDesktopTextureRegistrarRef textures = FlutterDesktopRegistrarGetTextureRegistrar(
      FlutterDesktopEngineGetPluginRegistrar(engine, "T"));
  FlutterDesktopTextureInfo pixels{};
  pixels.type = kFlutterDesktopPixelBufferTexture;
  pixels.pixel_buffer_config.callback = &NoPixels;
  FlutterDesktopTextureInfo surface{};
  surface.type = kFlutterDesktopGpuSurfaceTexture;
  surface.gpu_surface_config.struct_size = sizeof(FlutterDesktopGpuSurfaceTextureConfig);
  surface.gpu_surface_config.surface_type = 3;
  surface.gpu_surface_config.callback = &NoSurface;
  FlutterDesktopTextureInfo unknown{};
  unknown.type = 7;

  const int64_t pixel_id = FlutterDesktopTextureRegistrarRegisterExternalTexture(textures, &pixels);
  const int64_t surface_id =
      FlutterDesktopTextureRegistrarRegisterExternalTexture(textures, &surface);
  EXPECT_GT(pixel_id, 0);
  EXPECT_GT(surface_id, 0);
  EXPECT_NE(pixel_id, surface_id);
  EXPECT_EQ(FlutterDesktopTextureRegistrarRegisterExternalTexture(textures, &unknown), -1);
  EXPECT_EQ(FlutterDesktopTextureRegistrarRegisterExternalTexture(textures, nullptr), -1);

  EXPECT_TRUE(FlutterDesktopTextureRegistrarMarkExternalTextureFrameAvailable(textures, pixel_id));
  EXPECT_FALSE(FlutterDesktopTextureRegistrarMarkExternalTextureFrameAvailable(textures, 999));
  int unregistered = 0;
  FlutterDesktopTextureRegistrarUnregisterExternalTexture(
      textures, pixel_id, [](void* count) { ++*static_cast<int*>(count); }, &unregistered);
  EXPECT_EQ(unregistered, 1);
  EXPECT_FALSE(FlutterDesktopTextureRegistrarMarkExternalTextureFrameAvailable(textures, pixel_id));
  EXPECT_TRUE(
      FlutterDesktopTextureRegistrarMarkExternalTextureFrameAvailable(textures, surface_id));
  EXPECT_EQ(LinesWith(TraceLines(), "kind=1 struct_size=32 surface_type=3 -> ").size(), 1u);
}

TEST(EmbeddingDpi, MonitorDpiComesFromThePlatform) {
  HMONITOR monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  UINT x = 0;
  UINT y = 0;
  HMODULE shcore = LoadLibraryW(L"shcore.dll");
  ASSERT_NE(shcore, nullptr);
  using GetDpi = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  auto get_dpi =
      reinterpret_cast<GetDpi>(reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
  ASSERT_NE(get_dpi, nullptr);
  ASSERT_EQ(get_dpi(monitor, 0 /* effective */, &x, &y), S_OK);
  EXPECT_EQ(FlutterDesktopGetDpiForMonitor(monitor), x);
  EXPECT_EQ(FlutterDesktopGetDpiForMonitor(nullptr), 96u) << "no monitor: scale 1.0";
  FreeLibrary(shcore);
}

}  // namespace
