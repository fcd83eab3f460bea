// "getCrashDumpDirectory" and "openCrashDumpDirectory" against a stand-in resolver and shell.

#include <gtest/gtest.h>

#include "tests/audio_plugin/audio_plugin_test_support.h"
#include "tests/audio_plugin/fake_audio_system.h"

namespace {

using flutter::EncodableValue;

constexpr wchar_t kDirectory[] =
    L"C:\\users\\J\u00F6rg \u674E\\AppData\\Roaming\\com.brenmoworks\\tovan\\BrenmoTovan\\crashes";
constexpr char kDirectoryUtf8[] =
    "C:\\users\\J\xC3\xB6rg \xE6\x9D\x8E\\AppData\\Roaming\\com.brenmoworks\\tovan\\BrenmoTovan"
    "\\crashes";

class CrashDirectoryMethodsTest : public ::testing::Test {
 protected:
  CrashDirectoryMethodsTest() { Fake().crash_directory = kDirectory; }
  ScopedFakeAudioSystem system_;
  WindowsAudioPlugin plugin_;
};

TEST_F(CrashDirectoryMethodsTest, AnswersTheDirectoryInUtf8) {
  const DiagnosticCells before = DiagnosticCells::Read();
  for (int round = 0; round < 2; ++round) {
    const AnswerLog log = CallPlugin(plugin_, "getCrashDumpDirectory");
    const RecordedAnswer& answer = log.Only();
    ASSERT_EQ(answer.kind, RecordedAnswer::Kind::kSuccess);
    ASSERT_TRUE(answer.value && answer.value->TryGet<std::string>());
    EXPECT_EQ(*answer.value->TryGet<std::string>(), kDirectoryUtf8);
  }
  EXPECT_EQ(Fake().resolve_capacities, (std::vector<std::size_t>{260, 260}));
  EXPECT_TRUE(Fake().resolve_buffer_was_zeroed);
  const DiagnosticCells after = DiagnosticCells::Read();
  EXPECT_EQ(after.last_audio_op, before.last_audio_op) << "the crash methods record nothing";
  EXPECT_EQ(after.audio_op_count, before.audio_op_count);
}

TEST_F(CrashDirectoryMethodsTest, OpensTheDirectoryInTheFileManager) {
  const AnswerLog log = CallPlugin(plugin_, "openCrashDumpDirectory");
  const RecordedAnswer& answer = log.Only();
  ASSERT_EQ(answer.kind, RecordedAnswer::Kind::kSuccess);
  EXPECT_TRUE(answer.value && *answer.value == EncodableValue(true));
  ASSERT_EQ(Fake().shell_calls.size(), 1u);
  const FakeAudioSystem::ShellCall& call = Fake().shell_calls[0];
  EXPECT_TRUE(call.owner_null);
  EXPECT_EQ(call.verb, L"explore");
  EXPECT_EQ(call.file, kDirectory);
  EXPECT_TRUE(call.parameters_null);
  EXPECT_TRUE(call.directory_null);
  EXPECT_EQ(call.show, SW_SHOWNORMAL);
}

TEST_F(CrashDirectoryMethodsTest, ShellResultsUpToThirtyTwoAreRefusals) {
  const std::pair<std::intptr_t, bool> results[] = {{0, false},  {2, false}, {31, false},
                                                    {32, false}, {33, true}, {42, true}};
  for (const auto& [shell_result, opened] : results) {
    Fake().shell_result = shell_result;
    const AnswerLog log = CallPlugin(plugin_, "openCrashDumpDirectory");
    if (opened) {
      EXPECT_EQ(log.Only().kind, RecordedAnswer::Kind::kSuccess) << shell_result;
    } else {
      SCOPED_TRACE(shell_result);
      ExpectError(log, "SHELL_ERROR", "Failed to open crash dump directory");
    }
  }
}

TEST_F(CrashDirectoryMethodsTest, NoProfileFolderIsAPathError) {
  Fake().crash_directory.reset();
  ExpectError(CallPlugin(plugin_, "getCrashDumpDirectory"), "PATH_ERROR",
              "Failed to determine crash dump directory");
  ExpectError(CallPlugin(plugin_, "openCrashDumpDirectory"), "PATH_ERROR",
              "Failed to determine crash dump directory");
  EXPECT_TRUE(Fake().shell_calls.empty());
}

}  // namespace
