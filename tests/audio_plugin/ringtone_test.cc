// Ringtone playback and volume against a recording sound player and real files: what is played
// with which flags, what the ringtone table holds, what fails and what it leaves alone.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/audio_plugin/audio_plugin_test_support.h"
#include "tests/audio_plugin/fake_audio_system.h"

namespace {

using flutter::EncodableValue;

constexpr char kMissingLine[] = "[WindowsAudioPlugin] Ringtone file missing or invalid";
constexpr DWORD kLoopingFileFlags = 0x0002000B;

class RingtoneTest : public ::testing::Test {
 protected:
  RingtoneTest()
      : first_(Narrow(files_.WriteFile(L"first.wav", WavBytes(800)))),
        second_(Narrow(files_.WriteFile(L"zw\u00F6lf \u00E9t\u00E9 \u97F3.wav", WavBytes(800)))) {}

  AnswerLog Play(const std::string& path) {
    return CallPlugin(plugin_, "playRingtone",
                      Arguments({{EncodableValue("filePath"), EncodableValue(path)}}));
  }

  static std::map<std::string, std::string> Playing(const std::string& path) {
    return {{"tovan_ringtone", path}};
  }

  ScopedFakeAudioSystem system_;
  TemporaryDirectory files_;
  std::string first_;
  std::string second_;
  WindowsAudioPlugin plugin_;
};

void ExpectPlayFailed(const AnswerLog& log) {
  ExpectError(log, "PLAY_FAILED", "Failed to start native MCI playback");
}

TEST_F(RingtoneTest, StartsTheFileLoopingAndRecordsIt) {
  const DiagnosticCells before = DiagnosticCells::Read();
  ExpectTrue(Play(first_));
  ASSERT_EQ(Fake().play_calls.size(), 1u);
  EXPECT_EQ(Fake().play_calls[0].sound, Widen(first_));
  EXPECT_TRUE(Fake().play_calls[0].module_null);
  EXPECT_EQ(Fake().play_calls[0].flags, kLoopingFileFlags);
  EXPECT_EQ(plugin_.RingtoneTable(), Playing(first_));
  EXPECT_TRUE(Fake().debug_lines.empty());
  const DiagnosticCells after = DiagnosticCells::Read();
  EXPECT_EQ(after.last_audio_op, 1);
  EXPECT_EQ(after.audio_op_count, before.audio_op_count + 1);
}

TEST_F(RingtoneTest, ASecondStartSwitchesWithoutStoppingFirst) {
  ExpectTrue(Play(first_));
  ExpectTrue(Play(second_));
  ASSERT_EQ(Fake().play_calls.size(), 2u);
  EXPECT_EQ(Fake().play_calls[1].sound, Widen(second_)) << "UTF-8 path reaches the player intact";
  EXPECT_EQ(plugin_.RingtoneTable(), Playing(second_));
}

TEST_F(RingtoneTest, UnusablePathsFailAndLeaveTheRingtoneAlone) {
  ExpectTrue(Play(first_));
  struct Case {
    const char* name;
    std::string path;
    bool logs;
  };
  const Case cases[] = {
      {"missing file", Narrow(files_.path()) + "\\absent.wav", true},
      {"directory", Narrow(files_.path()), true},
      {"blank path", " ", true},
      {"invalid UTF-8 bytes", "\xFF\xFE", true},
  };
  for (const Case& c : cases) {
    Fake().debug_lines.clear();
    const DiagnosticCells before = DiagnosticCells::Read();
    {
      SCOPED_TRACE(c.name);
      ExpectPlayFailed(Play(c.path));
    }
    EXPECT_EQ(Fake().play_calls.size(), 1u) << c.name << ": the player is not called";
    EXPECT_EQ(plugin_.RingtoneTable(), Playing(first_)) << c.name;
    EXPECT_EQ(Fake().debug_lines, std::vector<std::string>{kMissingLine}) << c.name;
    EXPECT_EQ(DiagnosticCells::Read().last_audio_op, 1) << c.name;
    EXPECT_EQ(DiagnosticCells::Read().audio_op_count, before.audio_op_count + 1) << c.name;
  }
}

TEST_F(RingtoneTest, APlayerRefusalFailsWithoutALogLine) {
  ExpectTrue(Play(first_));
  Fake().play_result = FALSE;
  ExpectPlayFailed(Play(second_));
  EXPECT_EQ(Fake().play_calls.size(), 2u);
  EXPECT_TRUE(Fake().debug_lines.empty());
  EXPECT_EQ(plugin_.RingtoneTable(), Playing(first_));
}

TEST_F(RingtoneTest, StopSilencesTheProcessAndForgetsTheRingtone) {
  ExpectTrue(Play(first_));
  for (int round = 0; round < 2; ++round) {
    const DiagnosticCells before = DiagnosticCells::Read();
    ExpectTrue(CallPlugin(plugin_, "stopRingtone"));
    ASSERT_EQ(Fake().play_calls.size(), 2u + round);
    const FakeAudioSystem::PlayCall& stop = Fake().play_calls.back();
    EXPECT_FALSE(stop.sound.has_value());
    EXPECT_TRUE(stop.module_null);
    EXPECT_EQ(stop.flags, 0u);
    EXPECT_TRUE(plugin_.RingtoneTable().empty());
    const DiagnosticCells after = DiagnosticCells::Read();
    EXPECT_EQ(after.last_audio_op, 2);
    EXPECT_EQ(after.audio_op_count, before.audio_op_count + 1) << "also when nothing plays";
  }
}

TEST_F(RingtoneTest, DestroyingThePluginStopsTheRingtone) {
  {
    WindowsAudioPlugin plugin;
    AnswerLog log = CallPlugin(plugin, "playRingtone",
                               Arguments({{EncodableValue("filePath"), EncodableValue(first_)}}));
    ExpectTrue(log);
    Fake().play_calls.clear();
  }
  ASSERT_EQ(Fake().play_calls.size(), 1u);
  EXPECT_FALSE(Fake().play_calls[0].sound.has_value());
  EXPECT_EQ(Fake().play_calls[0].flags, 0u);
  EXPECT_EQ(DiagnosticCells::Read().last_audio_op, 2);
}

TEST_F(RingtoneTest, VolumeIsAcceptedRecordedAndNotApplied) {
  for (double volume : {-5.0, 0.0, 1.0, 1000.0}) {
    const DiagnosticCells before = DiagnosticCells::Read();
    SCOPED_TRACE(volume);
    ExpectTrue(CallPlugin(plugin_, "setVolume",
                          Arguments({{EncodableValue("volume"), EncodableValue(volume)}})));
    EXPECT_EQ(DiagnosticCells::Read().last_audio_op, 4);
    EXPECT_EQ(DiagnosticCells::Read().audio_op_count, before.audio_op_count + 1);
  }
  EXPECT_TRUE(Fake().play_calls.empty()) << "volume never touches playback";

  const DiagnosticCells before = DiagnosticCells::Read();
  CallPlugin(plugin_, "setVolume", Arguments({}));
  EXPECT_EQ(DiagnosticCells::Read().last_audio_op, before.last_audio_op);
  EXPECT_EQ(DiagnosticCells::Read().audio_op_count, before.audio_op_count);
}

}  // namespace
