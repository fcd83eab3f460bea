// PluginRegistrar, PluginRegistrarWindows, RegistrarCache and
// TextureRegistrarImpl against the fake embedding.
#include "channel/plugin_registrar.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "channel/plugin_registrar_windows.h"
#include "channel/registrar_cache.h"
#include "channel/texture_registrar.h"
#include "tests/channel/fake_embedding.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A plugin that runs `on_destroy` in its destructor, to observe when it goes
// and what it can still reach then.
class ProbePlugin : public flutter::Plugin {
 public:
  explicit ProbePlugin(std::function<void()> on_destroy) : on_destroy_(std::move(on_destroy)) {}
  ~ProbePlugin() override { on_destroy_(); }

 private:
  std::function<void()> on_destroy_;
};

class PluginRegistrarTest : public ::testing::Test {
 protected:
  PluginRegistrarTest() : fake_(fake_embedding::Reset()) {}
  fake_embedding::Fake& fake_;
};

TEST_F(PluginRegistrarTest, ConstructionAsksForMessengerTexturesAndViewInOrder) {
  FlutterDesktopPluginRegistrarRef handle = fake_.registrar("Probe");
  flutter::PluginRegistrarWindows registrar(handle);
  EXPECT_THAT(fake_.log(), ElementsAre("PluginRegistrarGetMessenger(registrar:Probe)",
                                       "RegistrarGetTextureRegistrar(registrar:Probe)",
                                       "PluginRegistrarGetView(registrar:Probe)"));
  ASSERT_NE(registrar.GetView(), nullptr);
  EXPECT_EQ(registrar.GetView()->GetWindowHandle(), fake_.view_window());
  ASSERT_NE(registrar.GetMessenger(), nullptr);
  ASSERT_NE(registrar.GetTextureRegistrar(), nullptr);

  // The messenger is the registrar's own, not the engine's.
  registrar.GetMessenger()->SetChannelHandler("probe",
                                              [](const uint8_t*, size_t, flutter::ByteReply) {});
  EXPECT_TRUE(fake_.HasCallback(fake_.registrar_messenger(handle), "probe"));
}

TEST_F(PluginRegistrarTest, NullViewHandleGivesNoView) {
  fake_.registrar_views_are_null = true;
  flutter::PluginRegistrarWindows registrar(fake_.registrar("Probe"));
  EXPECT_EQ(registrar.GetView(), nullptr);
}

TEST_F(PluginRegistrarTest, PluginsGoFirstWhileMessengerAndViewStillWorkWithoutLibraryCalls) {
  std::vector<std::string> destroyed;
  {
    auto registrar = std::make_unique<flutter::PluginRegistrarWindows>(fake_.registrar("Probe"));
    flutter::PluginRegistrarWindows* raw = registrar.get();
    for (const char* name : {"first", "second"}) {
      raw->AdoptPlugin(std::make_unique<ProbePlugin>([raw, name, &destroyed] {
        // A plugin may still take its channel down and look at its view.
        raw->GetMessenger()->SetChannelHandler(name, nullptr);
        raw->GetView()->GetWindowHandle();
        destroyed.push_back(name);
      }));
    }
    fake_.ClearLog();
    registrar.reset();
  }
  EXPECT_THAT(destroyed, ::testing::UnorderedElementsAre("first", "second"));
  // Only what the plugins themselves did reached the library.
  for (const std::string& entry : fake_.log()) {
    EXPECT_TRUE(entry.rfind("MessengerSetCallback(messenger:Probe", 0) == 0 ||
                entry == "ViewGetHWND(view)")
        << entry;
  }
  EXPECT_EQ(fake_.log().size(), 4u);
}

TEST_F(PluginRegistrarTest, DestroyPluginsEmptiesTheSet) {
  flutter::PluginRegistrar registrar(fake_.registrar("Probe"));
  int destroyed = 0;
  registrar.AdoptPlugin(std::make_unique<ProbePlugin>([&] { ++destroyed; }));
  registrar.AdoptPlugin(std::make_unique<ProbePlugin>([&] { ++destroyed; }));
  registrar.DestroyPlugins();
  EXPECT_EQ(destroyed, 2);
  registrar.DestroyPlugins();
  EXPECT_EQ(destroyed, 2);
}

TEST_F(PluginRegistrarTest, CacheReusesForgetsAndRebuildsWrappers) {
  FlutterDesktopPluginRegistrarRef handle = fake_.registrar("WindowsAudioPlugin");
  const std::vector<std::string> build_calls = {
      "PluginRegistrarGetMessenger(registrar:WindowsAudioPlugin)",
      "RegistrarGetTextureRegistrar(registrar:WindowsAudioPlugin)",
      "PluginRegistrarGetView(registrar:WindowsAudioPlugin)",
      "PluginRegistrarSetDestructionHandler(registrar:WindowsAudioPlugin, handler)"};

  flutter::PluginRegistrarWindows* first = flutter::RegistrarCache::RegistrarFor(handle);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(fake_.log(), build_calls);
  bool plugin_destroyed = false;
  first->AdoptPlugin(std::make_unique<ProbePlugin>([&] { plugin_destroyed = true; }));

  // Asking again builds and discards a wrapper, and re-registers the handler.
  fake_.ClearLog();
  EXPECT_EQ(flutter::RegistrarCache::RegistrarFor(handle), first);
  EXPECT_EQ(fake_.log(), build_calls);
  EXPECT_FALSE(plugin_destroyed);

  // Another handle, another wrapper.
  flutter::PluginRegistrarWindows* other =
      flutter::RegistrarCache::RegistrarFor(fake_.registrar("Other"));
  EXPECT_NE(other, first);

  // The embedding ends the registrars: the wrappers and their plugins go.
  fake_.ClearLog();
  fake_.EndRegistrars();
  EXPECT_TRUE(plugin_destroyed);
  EXPECT_THAT(fake_.log(), IsEmpty());

  // Forgetting an unknown handle changes nothing.
  flutter::RegistrarCache::ForgetRegistrar(handle);

  // The next request builds a fresh wrapper, without the old plugin.
  plugin_destroyed = false;
  flutter::PluginRegistrarWindows* rebuilt = flutter::RegistrarCache::RegistrarFor(handle);
  ASSERT_NE(rebuilt, nullptr);
  EXPECT_EQ(fake_.log(), build_calls);
  flutter::RegistrarCache::ForgetRegistrar(handle);
  EXPECT_FALSE(plugin_destroyed);
}

TEST_F(PluginRegistrarTest, CacheGivesNullForANullHandleWithoutCallingTheLibrary) {
  EXPECT_EQ(flutter::RegistrarCache::RegistrarFor(nullptr), nullptr);
  EXPECT_THAT(fake_.log(), IsEmpty());
}

// The texture records' raw bytes.
FlutterDesktopTextureInfo RecordOf(const std::array<uint8_t, 40>& bytes) {
  FlutterDesktopTextureInfo info;
  std::memcpy(&info, bytes.data(), sizeof(info));
  return info;
}

template <typename T>
T ReadAt(const std::array<uint8_t, 40>& bytes, size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof(value));
  return value;
}

TEST_F(PluginRegistrarTest, PixelBufferTextureRecord) {
  flutter::PluginRegistrar registrar(fake_.registrar("Probe"));
  auto* frame = reinterpret_cast<const FlutterDesktopPixelBuffer*>(&fake_);
  size_t seen_width = 0;
  size_t seen_height = 0;
  flutter::TextureSource source(flutter::PixelBufferSource([&](size_t width, size_t height) {
    seen_width = width;
    seen_height = height;
    return frame;
  }));
  EXPECT_EQ(registrar.GetTextureRegistrar()->RegisterExternalTexture(&source), 7);

  ASSERT_EQ(fake_.registered_textures.size(), 1u);
  const std::array<uint8_t, 40>& bytes = fake_.registered_textures[0];
  EXPECT_EQ(ReadAt<int32_t>(bytes, 0), 0);
  EXPECT_EQ(ReadAt<int32_t>(bytes, 4), 0) << "padding";
  EXPECT_EQ(ReadAt<const void*>(bytes, 16), std::get_if<flutter::PixelBufferSource>(&source));
  EXPECT_EQ(ReadAt<uint64_t>(bytes, 24), 0u);
  EXPECT_EQ(ReadAt<uint64_t>(bytes, 32), 0u);

  // The library's call goes to the source and its answer comes back unchanged.
  FlutterDesktopTextureInfo info = RecordOf(bytes);
  EXPECT_EQ(info.pixel_buffer_config.callback(640, 360, info.pixel_buffer_config.user_data), frame);
  EXPECT_EQ(seen_width, 640u);
  EXPECT_EQ(seen_height, 360u);
}

TEST_F(PluginRegistrarTest, GpuSurfaceTextureRecord) {
  flutter::PluginRegistrar registrar(fake_.registrar("Probe"));
  auto* descriptor = reinterpret_cast<const FlutterDesktopGpuSurfaceDescriptor*>(&fake_);
  flutter::TextureSource source(
      flutter::GpuSurfaceSource(5, [&](size_t, size_t) { return descriptor; }));
  fake_.next_texture_id = 11;
  EXPECT_EQ(registrar.GetTextureRegistrar()->RegisterExternalTexture(&source), 11);

  const std::array<uint8_t, 40>& bytes = fake_.registered_textures.at(0);
  EXPECT_EQ(ReadAt<int32_t>(bytes, 0), 1);
  EXPECT_EQ(ReadAt<int32_t>(bytes, 4), 0) << "padding";
  EXPECT_EQ(ReadAt<uint64_t>(bytes, 8), 32u);
  EXPECT_EQ(ReadAt<int32_t>(bytes, 16), 5);
  EXPECT_EQ(ReadAt<int32_t>(bytes, 20), 0) << "padding";
  EXPECT_EQ(ReadAt<const void*>(bytes, 32), std::get_if<flutter::GpuSurfaceSource>(&source));
  FlutterDesktopTextureInfo info = RecordOf(bytes);
  EXPECT_EQ(info.gpu_surface_config.callback(1, 2, info.gpu_surface_config.user_data), descriptor);
}

TEST_F(PluginRegistrarTest, AbsentTextureSourceIsRefused) {
  flutter::PluginRegistrar registrar(fake_.registrar("Probe"));
  fake_.ClearLog();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(registrar.GetTextureRegistrar()->RegisterExternalTexture(nullptr), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Attempting to register unknown texture variant.\n");
  EXPECT_THAT(fake_.log(), IsEmpty());
}

TEST_F(PluginRegistrarTest, FrameAvailableAndUnregistration) {
  flutter::PluginRegistrar registrar(fake_.registrar("Probe"));
  flutter::TextureRegistrar* textures = registrar.GetTextureRegistrar();
  fake_.ClearLog();

  fake_.mark_frame_available_result = false;
  EXPECT_FALSE(textures->MarkExternalTextureFrameAvailable(3));
  fake_.mark_frame_available_result = true;
  EXPECT_TRUE(textures->MarkExternalTextureFrameAvailable(3));

  EXPECT_TRUE(textures->UnregisterExternalTexture(3));
  int completions = 0;
  textures->UnregisterExternalTexture(4, [&] { ++completions; });
  EXPECT_EQ(completions, 0);
  fake_.CompleteUnregistration();  // id 3: nothing to call
  fake_.CompleteUnregistration();  // id 4: the callback, once; its holder is freed
  EXPECT_EQ(completions, 1);

  EXPECT_THAT(
      fake_.log(),
      ElementsAre("TextureRegistrarMarkExternalTextureFrameAvailable(textures:Probe, 3)",
                  "TextureRegistrarMarkExternalTextureFrameAvailable(textures:Probe, 3)",
                  "TextureRegistrarUnregisterExternalTexture(textures:Probe, 3, null, null)",
                  "TextureRegistrarUnregisterExternalTexture(textures:Probe, 4, callback, "
                  "context)"));
}

}  // namespace
