// The argument rules of the audio channel: which alternatives each getter accepts, what it
// answers otherwise, and that every refusal is one "INVALID_ARGUMENT" answer without details.

#include "audio_plugin/argument_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "tests/audio_plugin/recording_result.h"

namespace {

using flutter::EncodableValue;
using flutter::EncodableValueList;
using flutter::EncodableValueMap;
using flutter::MethodCall;

void ExpectInvalidArgument(const AnswerLog& log, const std::string& message,
                           const std::string& case_name) {
  SCOPED_TRACE(case_name);
  ExpectError(log, "INVALID_ARGUMENT", message);
}

MethodCall<EncodableValue> CallWith(std::unique_ptr<EncodableValue> arguments) {
  return MethodCall<EncodableValue>("anyMethod", std::move(arguments));
}

TEST(ArgumentMap, AcceptsOnlyTheMapAlternative) {
  struct Case {
    const char* name;
    std::unique_ptr<EncodableValue> arguments;
  };
  std::vector<Case> refused;
  refused.push_back({"absent", nullptr});
  refused.push_back({"null", std::make_unique<EncodableValue>()});
  refused.push_back({"list", std::make_unique<EncodableValue>(EncodableValueList{
                                 EncodableValue("filePath"), EncodableValue("a.wav")})});
  refused.push_back({"string", std::make_unique<EncodableValue>("filePath")});
  refused.push_back({"int32", std::make_unique<EncodableValue>(int32_t{1})});
  refused.push_back({"bool", std::make_unique<EncodableValue>(true)});
  for (Case& c : refused) {
    AnswerLog log;
    RecordingResult result(&log);
    const MethodCall<EncodableValue> call = CallWith(std::move(c.arguments));
    EXPECT_EQ(GetArgumentMap(call, result), nullptr) << c.name;
    ExpectInvalidArgument(log, "Expected a map of arguments", c.name);
  }

  AnswerLog log;
  RecordingResult result(&log);
  const MethodCall<EncodableValue> call =
      CallWith(std::make_unique<EncodableValue>(EncodableValueMap{}));
  const EncodableValueMap* map = GetArgumentMap(call, result);
  ASSERT_NE(map, nullptr);
  EXPECT_TRUE(map->empty());
  EXPECT_TRUE(log.answers.empty()) << log.Describe();
}

TEST(BoolArgument, AcceptsOnlyBools) {
  for (bool flag : {false, true}) {
    AnswerLog log;
    RecordingResult result(&log);
    EncodableValueMap arguments{{EncodableValue("isCapture"), EncodableValue(flag)}};
    bool value = !flag;
    EXPECT_TRUE(GetBoolArgument(arguments, "isCapture", value, result));
    EXPECT_EQ(value, flag);
    EXPECT_TRUE(log.answers.empty()) << log.Describe();
  }

  struct Case {
    const char* name;
    EncodableValue stored;
  };
  const Case wrong[] = {
      {"int32 0", EncodableValue(int32_t{0})},
      {"int32 1", EncodableValue(int32_t{1})},
      {"int64 1", EncodableValue(int64_t{1})},
      {"double 1", EncodableValue(1.0)},
      {"string true", EncodableValue("true")},
      {"null", EncodableValue()},
      {"list", EncodableValue(EncodableValueList{EncodableValue(true)})},
  };
  for (const Case& c : wrong) {
    AnswerLog log;
    RecordingResult result(&log);
    EncodableValueMap arguments{{EncodableValue("isCapture"), c.stored}};
    bool value = true;
    EXPECT_FALSE(GetBoolArgument(arguments, "isCapture", value, result)) << c.name;
    EXPECT_TRUE(value) << c.name << ": the output is only written on acceptance";
    ExpectInvalidArgument(log, "isCapture must be a bool", c.name);
  }
}

TEST(NumberArgument, AcceptsDoublesAndBothIntegerWidths) {
  struct Case {
    const char* name;
    EncodableValue stored;
    double expected;
  };
  const double nearest = static_cast<double>(int64_t{9007199254740993});
  const Case accepted[] = {
      {"double 1.5", EncodableValue(1.5), 1.5},
      {"int32 1", EncodableValue(int32_t{1}), 1.0},
      {"int32 min", EncodableValue(std::numeric_limits<int32_t>::min()), -2147483648.0},
      {"int64 2^32", EncodableValue(int64_t{4294967296}), 4294967296.0},
      {"int64 2^53+1 rounds to nearest", EncodableValue(int64_t{9007199254740993}), nearest},
      {"negative", EncodableValue(-5.0), -5.0},
      {"above one", EncodableValue(int32_t{1000}), 1000.0},
      {"infinity", EncodableValue(std::numeric_limits<double>::infinity()),
       std::numeric_limits<double>::infinity()},
  };
  for (const Case& c : accepted) {
    AnswerLog log;
    RecordingResult result(&log);
    EncodableValueMap arguments{{EncodableValue("volume"), c.stored}};
    double value = 0.25;
    EXPECT_TRUE(GetNumberArgument(arguments, "volume", value, result)) << c.name;
    EXPECT_EQ(value, c.expected) << c.name;
    EXPECT_TRUE(log.answers.empty()) << c.name << ": " << log.Describe();
  }

  AnswerLog nan_log;
  RecordingResult nan_result(&nan_log);
  EncodableValueMap nan_arguments{
      {EncodableValue("volume"), EncodableValue(std::numeric_limits<double>::quiet_NaN())}};
  double nan_value = 0.0;
  EXPECT_TRUE(GetNumberArgument(nan_arguments, "volume", nan_value, nan_result));
  EXPECT_TRUE(std::isnan(nan_value));

  const std::pair<const char*, EncodableValue> wrong[] = {
      {"string of digits", EncodableValue("1")},
      {"bool", EncodableValue(true)},
      {"null", EncodableValue()},
      {"double list", EncodableValue(std::vector<double>{0.5})},
  };
  for (const auto& [name, stored] : wrong) {
    AnswerLog log;
    RecordingResult result(&log);
    EncodableValueMap arguments{{EncodableValue("volume"), stored}};
    double value = 0.25;
    EXPECT_FALSE(GetNumberArgument(arguments, "volume", value, result)) << name;
    EXPECT_EQ(value, 0.25) << name;
    ExpectInvalidArgument(log, "volume must be a number", name);
  }
}

TEST(StringArgument, AcceptsNonEmptyStringsBlanksIncluded) {
  for (const char* text : {"C:\\ring.wav", " ", "\t", "r\xC3\xA9veil.wav"}) {
    AnswerLog log;
    RecordingResult result(&log);
    EncodableValueMap arguments{{EncodableValue("filePath"), EncodableValue(text)}};
    std::string value = "before";
    EXPECT_TRUE(GetStringArgument(arguments, "filePath", value, result)) << text;
    EXPECT_EQ(value, text);
    EXPECT_TRUE(log.answers.empty()) << log.Describe();
  }

  // A NUL anywhere is refused, and only after the emptiness check.
  for (const std::string& text : {std::string(1, '\0'), std::string("C:\\ring.wav\0.txt", 16)}) {
    AnswerLog log;
    RecordingResult result(&log);
    EncodableValueMap arguments{{EncodableValue("filePath"), EncodableValue(text)}};
    std::string value;
    EXPECT_FALSE(GetStringArgument(arguments, "filePath", value, result));
    ExpectInvalidArgument(log, "filePath must not contain a NUL character", "embedded NUL");
  }

  {
    AnswerLog log;
    RecordingResult result(&log);
    EncodableValueMap arguments{{EncodableValue("filePath"), EncodableValue("")}};
    std::string value = "before";
    EXPECT_FALSE(GetStringArgument(arguments, "filePath", value, result));
    EXPECT_EQ(value, "") << "the text is copied out before it is judged";
    ExpectInvalidArgument(log, "filePath must not be empty", "empty string");
  }

  const std::pair<const char*, EncodableValue> wrong[] = {
      {"int32 5", EncodableValue(int32_t{5})},
      {"bool", EncodableValue(false)},
      {"null", EncodableValue()},
      {"byte list", EncodableValue(std::vector<uint8_t>{'a', '.', 'w', 'a', 'v'})},
  };
  for (const auto& [name, stored] : wrong) {
    AnswerLog log;
    RecordingResult result(&log);
    EncodableValueMap arguments{{EncodableValue("filePath"), stored}};
    std::string value = "before";
    EXPECT_FALSE(GetStringArgument(arguments, "filePath", value, result)) << name;
    EXPECT_EQ(value, "before") << name;
    ExpectInvalidArgument(log, "filePath must be a string", name);
  }
}

TEST(AnyArgument, IsFoundOnlyUnderItsExactStringKey) {
  struct Case {
    const char* name;
    EncodableValue key;
  };
  const Case keys[] = {
      {"other case", EncodableValue("Volume")},
      {"trailing blank", EncodableValue("volume ")},
      {"byte list of the same bytes",
       EncodableValue(std::vector<uint8_t>{'v', 'o', 'l', 'u', 'm', 'e'})},
  };
  for (const Case& c : keys) {
    EncodableValueMap arguments{{c.key, EncodableValue(0.5)}};
    AnswerLog number_log, bool_log, string_log;
    RecordingResult number_result(&number_log), bool_result(&bool_log), string_result(&string_log);
    double number = 0;
    bool flag = false;
    std::string text;
    EXPECT_FALSE(GetNumberArgument(arguments, "volume", number, number_result));
    EXPECT_FALSE(GetBoolArgument(arguments, "volume", flag, bool_result));
    EXPECT_FALSE(GetStringArgument(arguments, "volume", text, string_result));
    for (const AnswerLog* log : {&number_log, &bool_log, &string_log}) {
      ExpectInvalidArgument(*log, "Missing argument: volume", c.name);
    }
  }
}

}  // namespace
