// FlutterEngine, FlutterViewController and FlutterView against the fake
// embedding: the engine properties record, the next-frame callback, creation
// failures and the destruction orders.
#include "channel/flutter_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "channel/flutter_view_controller.h"
#include "channel/project_settings.h"
#include "channel/registrar_cache.h"
#include "tests/channel/fake_embedding.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FlutterEngineTest : public ::testing::Test {
 protected:
  FlutterEngineTest() : fake_(fake_embedding::Reset()) {}
  fake_embedding::Fake& fake_;
};

TEST_F(FlutterEngineTest, PropertiesWithoutArgumentsHaveACountOfZeroAndNoArray) {
  flutter::FlutterEngine engine(flutter::BundleSettings(L"data"));
  ASSERT_TRUE(fake_.engine_properties.has_value());
  const fake_embedding::EngineProperties& properties = *fake_.engine_properties;
  EXPECT_EQ(properties.assets_path, L"data\\flutter_assets");
  EXPECT_EQ(properties.icu_data_path, L"data\\icudtl.dat");
  EXPECT_EQ(properties.aot_library_path, L"data\\app.so");
  EXPECT_FALSE(properties.entrypoint_was_null) << "an empty entry point is an empty text";
  EXPECT_EQ(properties.entrypoint, "");
  EXPECT_EQ(properties.argc, 0);
  EXPECT_TRUE(properties.argv_was_null);
  EXPECT_EQ(properties.engine_settings, (std::array<int32_t, 4>{0, 0, 0, 0}));
  EXPECT_THAT(fake_.log(), ElementsAre("EngineCreate", "EngineGetMessenger(engine)"));
}

TEST_F(FlutterEngineTest, PropertiesCarryArgumentsInOrderAndSettingsUnchanged) {
  flutter::ProjectSettings settings = flutter::BundleSettings(L"data");
  settings.entrypoint = "main";
  settings.entrypoint_arguments = {"--verbose", "", "sip:ana@example.org", "\xc3\xa9t\xc3\xa9"};
  settings.engine_settings = {1, -2, 3, 0x7fffffff};
  flutter::FlutterEngine engine(settings);
  ASSERT_TRUE(fake_.engine_properties.has_value());
  const fake_embedding::EngineProperties& properties = *fake_.engine_properties;
  EXPECT_EQ(properties.entrypoint, "main");
  EXPECT_EQ(properties.argc, 4);
  EXPECT_FALSE(properties.argv_was_null);
  EXPECT_EQ(properties.arguments, settings.entrypoint_arguments);
  EXPECT_EQ(properties.engine_settings, settings.engine_settings);
}

TEST_F(FlutterEngineTest, RegistrarsByPluginName) {
  flutter::FlutterEngine engine(flutter::BundleSettings(L"data"));
  fake_.ClearLog();
  EXPECT_EQ(engine.GetPluginRegistrar("WindowsAudioPlugin"), fake_.registrar("WindowsAudioPlugin"));
  EXPECT_THAT(fake_.log(), ElementsAre("EngineGetPluginRegistrar(engine, WindowsAudioPlugin)"));
}

TEST_F(FlutterEngineTest, WithoutAnEngineHandleNothingReachesTheLibrary) {
  fake_.engine_create_fails = true;
  flutter::FlutterEngine engine(flutter::BundleSettings(L"data"));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(engine.GetPluginRegistrar("WindowsAudioPlugin"), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Cannot get plugin registrar on an engine that isn't running; call Run first.\n");
  engine.ReloadSystemFonts();
  engine.SetNextFrameCallback([] {});
  EXPECT_EQ(engine.GetMessenger(), nullptr) << "no messenger over a null engine handle";
  EXPECT_THAT(fake_.log(), ElementsAre("EngineCreate"));
}

TEST_F(FlutterEngineTest, NextFrameCallbackReplacedBeforeItRunsAndEmptyAfter) {
  flutter::FlutterEngine engine(flutter::BundleSettings(L"data"));
  auto first_witness = std::make_shared<int>(0);
  std::vector<std::string> ran;
  engine.SetNextFrameCallback([first_witness, &ran] { ran.push_back("first"); });
  engine.SetNextFrameCallback([&ran] { ran.push_back("second"); });
  EXPECT_EQ(first_witness.use_count(), 1) << "the replaced callback was not destroyed";

  ASSERT_TRUE(fake_.RunNextFrame());
  EXPECT_THAT(ran, ElementsAre("second"));
  // A repeated notification finds the callback empty.
  fake_.RunNextFrame();
  EXPECT_THAT(ran, ElementsAre("second"));
}

TEST_F(FlutterEngineTest, NextFrameCallbackMayArmTheNextOne) {
  flutter::FlutterEngine engine(flutter::BundleSettings(L"data"));
  int frames = 0;
  std::function<void()> count_frames = [&] {
    ++frames;
    if (frames < 3) engine.SetNextFrameCallback(count_frames);
  };
  engine.SetNextFrameCallback(count_frames);
  for (int i = 0; i < 5; ++i) fake_.RunNextFrame();
  EXPECT_EQ(frames, 3);
}

TEST_F(FlutterEngineTest, DestructionDestroysOnlyAnEngineItStillOwns) {
  {
    flutter::FlutterEngine owner(flutter::BundleSettings(L"data"));
    fake_.ClearLog();
  }
  EXPECT_THAT(fake_.log(), ElementsAre("EngineDestroy(engine)"));

  fake_embedding::Fake& fake = fake_embedding::Reset();
  {
    flutter::FlutterEngine handed_over(flutter::BundleSettings(L"data"));
    EXPECT_EQ(handed_over.HandOverEngine(), fake.engine());
    // The handle keeps serving the wrapper after the hand-over.
    handed_over.ReloadSystemFonts();
    EXPECT_EQ(handed_over.GetPluginRegistrar("P"), fake.registrar("P"));
    fake.ClearLog();
  }
  EXPECT_THAT(fake.log(), IsEmpty());
}

TEST_F(FlutterEngineTest, ViewControllerCreatesEngineThenControllerThenView) {
  auto controller =
      std::make_unique<flutter::FlutterViewController>(640, 480, flutter::BundleSettings(L"data"));
  EXPECT_THAT(fake_.log(), ElementsAre("EngineCreate", "EngineGetMessenger(engine)",
                                       "ViewControllerCreate(640, 480, engine)",
                                       "ViewControllerGetView(controller)"));
  ASSERT_NE(controller->GetEngine(), nullptr);
  ASSERT_NE(controller->GetView(), nullptr);
  EXPECT_EQ(controller->GetView()->GetWindowHandle(), fake_.view_window());

  fake_.ClearLog();
  controller->ForceRedraw();
  controller->GetEngine()->ReloadSystemFonts();
  EXPECT_THAT(fake_.log(), ElementsAre("ViewControllerForceRedraw(controller)",
                                       "EngineReloadSystemFonts(engine)"));

  // The embedding ends the engine with the controller; the wrapper adds nothing.
  fake_.ClearLog();
  controller.reset();
  EXPECT_THAT(fake_.log(), ElementsAre("ViewControllerDestroy(controller)"));
}

TEST_F(FlutterEngineTest, ViewControllerFailureLeavesNoViewAndCallsNothingOnDestruction) {
  fake_.view_controller_create_fails = true;
  ::testing::internal::CaptureStderr();
  auto controller =
      std::make_unique<flutter::FlutterViewController>(1, 1, flutter::BundleSettings(L"data"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Failed to create view controller.\n");
  EXPECT_EQ(controller->GetView(), nullptr);
  EXPECT_NE(controller->GetEngine(), nullptr);
  EXPECT_EQ(controller->HandleTopLevelWindowProc(fake_.view_window(), 0x0005, 0, 0), std::nullopt);
  fake_.ClearLog();
  controller.reset();
  EXPECT_THAT(fake_.log(), IsEmpty());
}

TEST_F(FlutterEngineTest, ViewControllerWithoutAnEngineFailsWithoutCallingTheLibrary) {
  fake_.engine_create_fails = true;
  ::testing::internal::CaptureStderr();
  flutter::FlutterViewController controller(1, 1, flutter::BundleSettings(L"data"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Failed to create view controller.\n");
  EXPECT_EQ(controller.GetView(), nullptr);
  EXPECT_THAT(fake_.log(), ElementsAre("EngineCreate"));
}

TEST_F(FlutterEngineTest, TopLevelWindowMessagesHandledOrNot) {
  flutter::FlutterViewController controller(640, 480, flutter::BundleSettings(L"data"));
  fake_.ClearLog();
  EXPECT_EQ(controller.HandleTopLevelWindowProc(fake_.view_window(), 0x0005, 1, 2),
            std::optional<LRESULT>(42));
  EXPECT_EQ(controller.HandleTopLevelWindowProc(fake_.view_window(), 0x0002, 3, 4), std::nullopt);
  EXPECT_THAT(
      fake_.log(),
      ElementsAre("ViewControllerHandleTopLevelWindowProc(controller, view-window, 5, 1, 2)",
                  "ViewControllerHandleTopLevelWindowProc(controller, view-window, 2, 3, 4)"));
}

TEST_F(FlutterEngineTest, ClosingTheControllerEndsRegistrarsAndTheirPluginsAfterTheView) {
  class Probe : public flutter::Plugin {
   public:
    explicit Probe(fake_embedding::Fake& fake) : fake_(fake) {}
    ~Probe() override { fake_.Record("plugin destroyed"); }

   private:
    fake_embedding::Fake& fake_;
  };
  auto controller =
      std::make_unique<flutter::FlutterViewController>(640, 480, flutter::BundleSettings(L"data"));
  flutter::PluginRegistrarWindows* registrar = flutter::RegistrarCache::RegistrarFor(
      controller->GetEngine()->GetPluginRegistrar("WindowsAudioPlugin"));
  ASSERT_NE(registrar, nullptr);
  registrar->AdoptPlugin(std::make_unique<Probe>(fake_));
  fake_.ClearLog();

  controller.reset();
  EXPECT_THAT(fake_.log(), ElementsAre("ViewControllerDestroy(controller)", "plugin destroyed"));
}

}  // namespace
