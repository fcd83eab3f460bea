// The channel-codec command: its answers and exit codes in-process, and the
// built program's exit codes when run as engineers run it.
#include "devkit/channel_tool/channel_codec.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace tovan::channel_tool {
namespace {

struct Outcome {
  int exit_code;
  std::string out;
  std::string err;
};

Outcome RunInProcess(const std::vector<std::string>& args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  const int exit_code = RunChannelCodec(args, in, out, err);
  return {exit_code, out.str(), err.str()};
}

TEST(ChannelCodecTest, DecodesAndEncodes) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    std::string out;
  } const cases[] = {
      {"value", {"decode", "value", "07 03 61 62 63"}, "", "\"abc\"\n"},
      {"value in several arguments", {"decode", "value", "07", "03", "616263"}, "", "\"abc\"\n"},
      {"value from standard input",
       {"decode", "value"},
       "0C 02 03 01 00 00 00\n07 01 61\n",
       "[1, \"a\"]\n"},
      {"call",
       {"decode", "call", "07 0C 73 74 6F 70 52 69 6E 67 74 6F 6E 65 00"},
       "",
       "stopRingtone(null)\n"},
      {"success reply", {"decode", "reply", "00 03 05 00 00 00"}, "", "success(5)\n"},
      {"error reply", {"decode", "reply", "01 07 01 58 00 00"}, "", "error(\"X\", null, null)\n"},
      {"empty reply", {"decode", "reply"}, "", "notImplemented\n"},
      {"unknown status", {"decode", "reply", "02"}, "", "unknownStatus(2, bytes[])\n"},
      {"encode value", {"encode", "value", "{\"a\": true}"}, "", "0D 01 07 01 61 01\n"},
      {"encode value from standard input",
       {"encode", "value"},
       "[1,\n \"a\"]\n",
       "0C 02 03 01 00 00 00 07 01 61\n"},
      {"encode call",
       {"encode", "call", "setVolume({\"volume\": 0.5})"},
       "",
       "07 09 73 65 74 56 6F 6C 75 6D 65 0D 01 07 06 76 6F 6C 75 6D 65 06 00 00 00 00 00 00 00 "
       "00 E0 3F\n"},
      {"encode reply", {"encode", "reply", "error(\"X\", null, null)"}, "", "01 07 01 58 00 00\n"},
      {"encode not implemented", {"encode", "reply", "notImplemented"}, "", "\n"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = RunInProcess(c.args, c.input);
    EXPECT_EQ(outcome.exit_code, kExitOk) << c.name << ": " << outcome.err;
    EXPECT_EQ(outcome.out, c.out) << c.name;
    EXPECT_EQ(outcome.err, "") << c.name;
  }
}

TEST(ChannelCodecTest, RefusesBadInputWithPositionAndExitCode) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exit_code;
    const char* err_part;
  } const cases[] = {
      {"bad notation", {"encode", "value", "[1,"}, kExitBadInput, "bad value at offset 3"},
      {"bad call", {"encode", "call", "setVolume"}, kExitBadInput, "bad method call at offset 9"},
      {"bad reply", {"encode", "reply", "fine"}, kExitBadInput, "bad reply at offset 0"},
      {"bad hexadecimal", {"decode", "value", "0G"}, kExitBadInput, "bad hexadecimal at offset 1"},
      {"not a call", {"decode", "call", "03 01 00 00 00"}, kExitBadInput, "method name is 1,"},
      {"no arguments", {}, kExitUsage, "usage:"},
      {"unknown command", {"frobnicate", "value"}, kExitUsage, "usage:"},
      {"unknown kind", {"decode", "thing", "00"}, kExitUsage, "unknown kind 'thing'"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = RunInProcess(c.args);
    EXPECT_EQ(outcome.exit_code, c.exit_code) << c.name;
    EXPECT_EQ(outcome.out, "") << c.name;
    EXPECT_NE(outcome.err.find(c.err_part), std::string::npos) << c.name << ": " << outcome.err;
  }
}

// A malformed message prints as the channel reads it, with the decoder's
// diagnostics passed on and its own exit status.
TEST(ChannelCodecTest, ShowsMalformedMessagesAsTheChannelReadsThem) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string out;
    const char* err_part;
  } const cases[] = {
      {"truncated int32",
       {"decode", "value", "03 01 02"},
       "0\n",
       "Invalid read in StandardCodecByteStreamReader\n"},
      {"truncated string",
       {"decode", "value", "07 05 61"},
       "\"\\x00\\x00\\x00\\x00\\x00\"\n",
       "Invalid read in StandardCodecByteStreamReader\n"},
      {"unknown tag",
       {"decode", "value", "0F"},
       "null\n",
       "Unknown type in StandardCodecSerializer::ReadValueOfType: 15\n"},
      {"call without arguments",
       {"decode", "call", "07 0C 73 74 6F 70 52 69 6E 67 74 6F 6E 65"},
       "stopRingtone(null)\n",
       "Invalid read in StandardCodecByteStreamReader\n"},
      {"size prefix cut short",
       {"decode", "value", "0C FF FF FF FF"},
       "[]\n",
       "Invalid read in StandardCodecByteStreamReader\n"},
      {"string longer than the message",
       {"decode", "value", "07 FF FF FF FF FF"},
       "\"\"\n",
       "Message announces more than it holds"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = RunInProcess(c.args);
    EXPECT_EQ(outcome.exit_code, kExitMalformed) << c.name;
    EXPECT_EQ(outcome.out, c.out) << c.name;
    EXPECT_NE(outcome.err.find(c.err_part), std::string::npos) << c.name << ": " << outcome.err;
  }
}

TEST(ChannelCodecTest, PointsAtTheErrorInItsLine) {
  const Outcome outcome = RunInProcess({"encode", "value"}, "[1,\n 2 3]\n");
  EXPECT_EQ(outcome.exit_code, kExitBadInput);
  EXPECT_EQ(outcome.err,
            "channel-codec: bad value at offset 7 (line 2, column 4): expected , or ]\n"
            "   2 3]\n"
            "     ^\n");
}

TEST(ChannelCodecTest, NotesIgnoredTrailingBytes) {
  const Outcome outcome = RunInProcess({"decode", "value", "00 01 02"});
  EXPECT_EQ(outcome.exit_code, kExitOk);
  EXPECT_EQ(outcome.out, "null\n");
  EXPECT_EQ(outcome.err, "channel-codec: note: 2 byte(s) after the message were ignored\n");
}

TEST(ChannelCodecTest, HelpGoesToStandardOutput) {
  const Outcome outcome = RunInProcess({"--help"});
  EXPECT_EQ(outcome.exit_code, kExitOk);
  EXPECT_NE(outcome.out.find("usage: channel-codec decode"), std::string::npos);
}

// The path of the built tool, given by the build as a host path. Under Wine
// the build tree's Unix paths are reached through drive Z:.
std::string ToolPath() {
  const char* path = std::getenv("CHANNEL_CODEC");
  std::string tool = path != nullptr ? path : "";
#ifdef _WIN32
  if (!tool.empty() && tool[0] == '/') {
    tool = "Z:" + tool;
    for (char& c : tool) {
      if (c == '/') c = '\\';
    }
  }
#endif
  return tool;
}

// Runs the built program with the words of `arguments`, each one argument.
tovan_test::ProgramOutcome RunTool(const std::string& arguments) {
  std::vector<std::string> words;
  std::istringstream split(arguments);
  for (std::string word; split >> word;) words.push_back(word);
  return tovan_test::RunProgram(ToolPath(), words);
}

TEST(ChannelCodecProgramTest, ExitCodes) {
  ASSERT_FALSE(ToolPath().empty()) << "CHANNEL_CODEC names the built tool";
  struct Case {
    const char* arguments;
    int exit_code;
    const char* out;
  } const cases[] = {
      {"decode value 07 03 61 62 63", 0, "\"abc\"\n"},
      {"encode value i32[1,-2]", 0, "09 02 00 00 01 00 00 00 FE FF FF FF\n"},
      {"encode value [1,", 1, ""},
      {"decode value 0G", 1, ""},
      {"decode call 03 01 00 00 00", 1, ""},
      {"decode value 03 01 02", 3, "0\n"},
      {"frobnicate value", 2, ""},
  };
  for (const Case& c : cases) {
    const tovan_test::ProgramOutcome outcome = RunTool(c.arguments);
    ASSERT_TRUE(outcome.started) << outcome.start_error;
    EXPECT_FALSE(outcome.timed_out) << c.arguments;
    EXPECT_EQ(outcome.exit_code, static_cast<unsigned long>(c.exit_code)) << c.arguments << "\n"
                                                                          << outcome.err;
    EXPECT_EQ(outcome.out, c.out) << c.arguments;
  }
}

}  // namespace
}  // namespace tovan::channel_tool
