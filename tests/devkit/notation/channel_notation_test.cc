// The typed channel notation: exact golden texts for every alternative, round
// trips through text and through the wire format, and error positions.
#include "devkit/notation/channel_notation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "channel/byte_buffer_streams.h"
#include "channel/standard_codec_serializer.h"

namespace tovan::notation {
namespace {

using flutter::EncodableValue;
using flutter::EncodableValueList;
using flutter::EncodableValueMap;

std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  flutter::StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

EncodableValue Decode(const std::vector<uint8_t>& bytes) {
  flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
  return flutter::StandardCodecSerializer::GetInstance().ReadTaggedValue(&reader);
}

std::string Hex(const std::vector<uint8_t>& bytes) { return ToHex(bytes.data(), bytes.size()); }

double DoubleFromBits(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

float FloatFromBits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

struct PrintCase {
  const char* name;
  EncodableValue value;
  std::string text;
};

std::vector<PrintCase> PrintCases() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  return {
      {"null", EncodableValue(), "null"},
      {"true", EncodableValue(true), "true"},
      {"false", EncodableValue(false), "false"},
      {"int32", EncodableValue(int32_t{1}), "1"},
      {"int32 min", EncodableValue(std::numeric_limits<int32_t>::min()), "-2147483648"},
      {"int64", EncodableValue(int64_t{1}), "1L"},
      {"int64 min", EncodableValue(std::numeric_limits<int64_t>::min()), "-9223372036854775808L"},
      {"double one", EncodableValue(1.0), "1.0"},
      {"double negative zero", EncodableValue(-0.0), "-0.0"},
      {"double tenth", EncodableValue(0.1), "0.1"},
      {"double third", EncodableValue(1.0 / 3), "0.3333333333333333"},
      {"double large", EncodableValue(1e300), "1e+300"},
      {"double 2^53", EncodableValue(9007199254740992.0), "9007199254740992.0"},
      {"double subnormal", EncodableValue(5e-324), "5e-324"},
      {"double inf", EncodableValue(inf), "inf"},
      {"double -inf", EncodableValue(-inf), "-inf"},
      {"double nan", EncodableValue(nan), "nan"},
      {"double -nan", EncodableValue(-nan), "-nan"},
      {"double nan payload", EncodableValue(DoubleFromBits(0x7FF0000000000001ULL)),
       "nan(0x7FF0000000000001)"},
      {"string", EncodableValue("abc"), "\"abc\""},
      {"empty string", EncodableValue(""), "\"\""},
      {"string one", EncodableValue("1"), "\"1\""},
      {"string escapes", EncodableValue("q\"b\\n\nr\rt\t"), "\"q\\\"b\\\\n\\nr\\rt\\t\""},
      {"string NUL", EncodableValue(std::string("a\0b", 3)), "\"a\\x00b\""},
      {"string controls", EncodableValue("\x01\x1F\x7F"), "\"\\x01\\x1F\\x7F\""},
      {"string UTF-8", EncodableValue("caf\xC3\xA9 \xF0\x9F\x93\x9E"),
       "\"caf\xC3\xA9 \xF0\x9F\x93\x9E\""},
      {"string invalid UTF-8", EncodableValue("\xFF\xC3"), "\"\\xFF\\xC3\""},
      {"string overlong", EncodableValue("\xC0\x80"), "\"\\xC0\\x80\""},
      {"string surrogate", EncodableValue("\xED\xA0\x80"), "\"\\xED\\xA0\\x80\""},
      {"string C1 control", EncodableValue("\xC2\x85"), "\"\\xC2\\x85\""},
      {"byte list", EncodableValue(std::vector<uint8_t>{0x01, 0xFF, 0x00}), "bytes[01 FF 00]"},
      {"empty byte list", EncodableValue(std::vector<uint8_t>{}), "bytes[]"},
      {"int32 list", EncodableValue(std::vector<int32_t>{1, -2}), "i32[1, -2]"},
      {"empty int32 list", EncodableValue(std::vector<int32_t>{}), "i32[]"},
      {"int64 list", EncodableValue(std::vector<int64_t>{1, -2}), "i64[1, -2]"},
      {"double list", EncodableValue(std::vector<double>{1.0, -0.0, 0.5, nan, -inf}),
       "f64[1.0, -0.0, 0.5, nan, -inf]"},
      {"float list",
       EncodableValue(std::vector<float>{0.1f, 1.0f, std::numeric_limits<float>::infinity(),
                                         FloatFromBits(0x7FA00000U)}),
       "f32[0.1, 1.0, inf, nan(0x7FA00000)]"},
      {"float list extremes",
       EncodableValue(std::vector<float>{FloatFromBits(1), std::numeric_limits<float>::max(), -0.0f,
                                         16777216.0f}),
       "f32[1e-45, 3.4028235e+38, -0.0, 16777216.0]"},
      {"list", EncodableValue(EncodableValueList{EncodableValue(1), EncodableValue("a")}),
       "[1, \"a\"]"},
      {"empty list", EncodableValue(EncodableValueList{}), "[]"},
      {"map", EncodableValue(EncodableValueMap{{EncodableValue("a"), EncodableValue(true)}}),
       "{\"a\": true}"},
      {"empty map", EncodableValue(EncodableValueMap{}), "{}"},
      {"map in key order",
       EncodableValue(EncodableValueMap{{EncodableValue("b"), EncodableValue(3)},
                                        {EncodableValue(int64_t{1}), EncodableValue(4)},
                                        {EncodableValue(1.0), EncodableValue(5)},
                                        {EncodableValue(1), EncodableValue(2)}}),
       "{1: 2, 1L: 4, 1.0: 5, \"b\": 3}"},
      {"nested",
       EncodableValue(EncodableValueList{
           EncodableValue(EncodableValueMap{
               {EncodableValue("list"),
                EncodableValue(EncodableValueList{EncodableValue(), EncodableValue(2.5)})},
               {EncodableValue(std::vector<uint8_t>{7}), EncodableValue(std::vector<int32_t>{})}}),
           EncodableValue(EncodableValueList{})}),
       "[{\"list\": [null, 2.5], bytes[07]: i32[]}, []]"},
  };
}

TEST(ChannelNotationTest, PrintsEveryAlternativeExactly) {
  for (const PrintCase& c : PrintCases()) {
    EXPECT_EQ(PrintValue(c.value), c.text) << c.name;
  }
  EXPECT_EQ(PrintValue(EncodableValue(flutter::CustomValue(42))), "custom");
}

// Parsing the printed text gives a value with the same alternatives and the
// same bits: its encoding is byte for byte the original's (NaN payloads and
// the sign of zero included, which value equivalence alone would not show).
TEST(ChannelNotationTest, PrintedTextParsesBackToTheSameValue) {
  for (const PrintCase& c : PrintCases()) {
    EncodableValue parsed;
    ParseError error;
    ASSERT_TRUE(ParseValue(c.text, &parsed, &error)) << c.name << ": " << error.message;
    EXPECT_EQ(parsed.Index(), c.value.Index()) << c.name;
    EXPECT_EQ(Hex(Encode(parsed)), Hex(Encode(c.value))) << c.name;
  }
}

// Text, then the wire, then text again: what the channel decoder reads back
// prints as the text that went in.
TEST(ChannelNotationTest, NotationSurvivesTheWire) {
  const char* const texts[] = {
      "null", "true", "false", "-7", "7L", "1.0", "-0.0", "nan", "-inf", "\"\"",
      "\"t\\x00\\xFF\xC3\xA9\"", "bytes[]", "bytes[00 01 FE FF]", "i32[-1, 2147483647]",
      "i64[-9223372036854775808, 5]", "f64[0.1, 1e+300]", "f32[0.5, -2.0]",
      "[1, i32[1, 2], f64[0.5], \"x\", i64[3], f32[1.5], bytes[01]]",
      "{null: [], false: {}, 1: 1L, 1L: 1.0, 1.0: \"1\", \"1\": bytes[31]}",
      // One text in two pieces (the parentheses say so to clang).
      ("{\"devices\": [{\"id\": \"{0.0.0.00000000}.{1}\", \"isDefault\": true, \"name\": "
       "\"Desk Speakers\"}]}"),
      // Empty typed lists only where the reader's alignment lands on what
      // follows: the writer does not pad them but the reader aligns anyway.
      "[bytes[], {}, i32[]]"};
  for (const char* text : texts) {
    EncodableValue value;
    ParseError error;
    ASSERT_TRUE(ParseValue(text, &value, &error)) << text << ": " << error.message;
    EXPECT_EQ(PrintValue(Decode(Encode(value))), text) << text;
  }
}

TEST(ChannelNotationTest, EncodesToTheWireFormat) {
  struct Case {
    const char* text;
    const char* hex;
  } const cases[] = {
      {"null", "00"},
      {"true", "01"},
      {"-1", "03 FF FF FF FF"},
      {"1L", "04 01 00 00 00 00 00 00 00"},
      {"1.0", "06 00 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"},
      {"\"abc\"", "07 03 61 62 63"},
      {"i32[1]", "09 01 00 00 01 00 00 00"},
      {"i32[]", "09 00"},
      {"[1, \"a\"]", "0C 02 03 01 00 00 00 07 01 61"},
      {"{\"a\": true}", "0D 01 07 01 61 01"},
      {"f32[1.0]", "0E 01 00 00 00 00 80 3F"},
  };
  for (const Case& c : cases) {
    EncodableValue value;
    ParseError error;
    ASSERT_TRUE(ParseValue(c.text, &value, &error)) << c.text << ": " << error.message;
    EXPECT_EQ(Hex(Encode(value)), c.hex) << c.text;
  }
}

TEST(ChannelNotationTest, AcceptsLenientSpellings) {
  struct Case {
    const char* text;
    const char* printed;
  } const cases[] = {
      {" \t\r\n[ 1 ,\n2 ] ", "[1, 2]"},
      {"1E3", "1000.0"},
      {"2.5e-1", "0.25"},
      {"-0", "0"},
      {"007", "7"},
      {"i64[1L, 2]", "i64[1, 2]"},
      {"f64[1, -2]", "f64[1.0, -2.0]"},
      {"f32[nan, -nan]", "f32[nan, -nan]"},
      {"bytes[0aFf 10]", "bytes[0A FF 10]"},
      {"\"\\u{E9}\\u{1F4DE}\\x41\"", "\"\xC3\xA9\xF0\x9F\x93\x9E\x41\""},
      {"{ }", "{}"},
  };
  for (const Case& c : cases) {
    EncodableValue value;
    ParseError error;
    ASSERT_TRUE(ParseValue(c.text, &value, &error)) << c.text << ": " << error.message;
    EXPECT_EQ(PrintValue(value), c.printed) << c.text;
  }
}

TEST(ChannelNotationTest, ReportsWhereMalformedValuesGoWrong) {
  struct Case {
    std::string text;
    size_t position;
    const char* message_part;
  } const cases[] = {
      {"", 0, "expected a value"},
      {"   ", 3, "expected a value"},
      {"[1, 2", 5, "expected , or ]"},
      {"[1 2]", 3, "expected , or ]"},
      {"[1,]", 3, "expected a value"},
      {"{\"a\" 1}", 5, "expected :"},
      {"{\"a\": 1, \"a\": 2}", 9, "duplicate map key"},
      {"2147483648", 0, "does not fit an int32"},
      {"9223372036854775808L", 0, "does not fit an int64"},
      {"1.5L", 3, "no point or exponent"},
      {"1.", 2, "digit after the point"},
      {"1e+", 3, "digit in the exponent"},
      {"-", 1, "expected a digit"},
      {"12abc", 2, "unexpected character in a number"},
      {"1e400", 0, "out of range for a double"},
      {"\"abc", 0, "string is not closed"},
      {"\"a\\qb\"", 2, "unknown escape"},
      {"\"\\x4\"", 1, "\\x takes exactly two"},
      {"\"\\u{110000}\"", 1, "code point"},
      {"\"a\nb\"", 2, "control character"},
      {"nul", 0, "unknown word 'nul'"},
      {"nano", 0, "unknown word 'nano'"},
      {"custom", 0, "custom value cannot"},
      {"bytes[0]", 7, "two hexadecimal digits"},
      {"bytes(01)", 5, "expected ["},
      {"i32[1.5]", 4, "plain integer"},
      {"i32[1L]", 4, "plain integer"},
      {"i64[0.5]", 4, "is an integer"},
      {"f32[1e39]", 4, "out of range for a float"},
      {"f64[1L]", 4, "no L suffix"},
      {"nan(0x7FF0000000000000)", 0, "not a NaN"},
      {"nan(0x7FF8)", 10, "16 hexadecimal digits"},
      {"[1] x", 4, "unexpected text after the end"},
      {"@", 0, "expected a value"},
  };
  for (const Case& c : cases) {
    EncodableValue value(7);
    ParseError error;
    EXPECT_FALSE(ParseValue(c.text, &value, &error)) << c.text;
    EXPECT_EQ(error.position, c.position) << c.text << ": " << error.message;
    EXPECT_NE(error.message.find(c.message_part), std::string::npos)
        << c.text << ": " << error.message;
    EXPECT_EQ(value.Index(), EncodableValue::kInt32) << c.text << ": output changed on error";
  }
}

TEST(ChannelNotationTest, BoundsNestingDepth) {
  const size_t limit = static_cast<size_t>(kMaxNestingDepth);
  EncodableValue value;
  ParseError error;
  EXPECT_TRUE(ParseValue(std::string(limit, '[') + std::string(limit, ']'), &value, &error))
      << error.message;
  // Far beyond the limit, as hostile text would be: refused at the first
  // bracket past it, without running out of stack.
  const std::string deep = std::string(100000, '[');
  EXPECT_FALSE(ParseValue(deep, &value, &error));
  EXPECT_EQ(error.position, limit);
  EXPECT_FALSE(ParseValue(std::string(limit, '{'), &value, &error));
  EXPECT_NE(error.message.find("nested"), std::string::npos) << error.message;
}

// The channel decoder's deepest value prints and parses back unchanged.
TEST(ChannelNotationTest, WritesBackTheDecodersDeepestValue) {
  const size_t depth = flutter::StandardCodecSerializer::kMaxNestingDepth;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < depth; ++i) {
    bytes.push_back(0x0C);
    bytes.push_back(0x01);
  }
  bytes.push_back(0x00);
  const std::string text = PrintValue(Decode(bytes));
  EncodableValue parsed;
  ParseError error;
  ASSERT_TRUE(ParseValue(text, &parsed, &error)) << error.message;
  EXPECT_EQ(PrintValue(parsed), text);
}

TEST(ChannelNotationTest, PrintsAndParsesCalls) {
  struct Case {
    std::string method;
    EncodableValue arguments;
    const char* text;
  } const cases[] = {
      {"setVolume", EncodableValue(EncodableValueMap{{EncodableValue("volume"), 0.5}}),
       "setVolume({\"volume\": 0.5})"},
      {"stopRingtone", EncodableValue(), "stopRingtone(null)"},
      {"Clipboard.setData", EncodableValue(1), "Clipboard.setData(1)"},
      {"_private1", EncodableValue("x"), "_private1(\"x\")"},
      {"two words", EncodableValue(true), "\"two words\"(true)"},
      {"1st", EncodableValue(), "\"1st\"(null)"},
      {"", EncodableValue(), "\"\"(null)"},
      {".dot", EncodableValue(), "\".dot\"(null)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PrintCall(c.method, c.arguments), c.text) << c.method;
    std::string method;
    EncodableValue arguments;
    ParseError error;
    ASSERT_TRUE(ParseCall(c.text, &method, &arguments, &error)) << c.text << ": " << error.message;
    EXPECT_EQ(method, c.method) << c.text;
    EXPECT_EQ(Hex(Encode(arguments)), Hex(Encode(c.arguments))) << c.text;
  }
  std::string method;
  EncodableValue arguments(1);
  ParseError error;
  ASSERT_TRUE(ParseCall("  stopRingtone ( ) ", &method, &arguments, &error)) << error.message;
  EXPECT_EQ(method, "stopRingtone");
  EXPECT_TRUE(arguments.IsNull());
}

TEST(ChannelNotationTest, ReportsWhereMalformedCallsGoWrong) {
  struct Case {
    const char* text;
    size_t position;
    const char* message_part;
  } const cases[] = {
      {"setVolume", 9, "expected ( before the end"},
      {"1abc(null)", 0, "method name"},
      {"(1)", 0, "method name"},
      {"f(1, 2)", 3, "expected )"},
      {"f(1) x", 5, "unexpected text"},
      {"f([1)", 4, "expected , or ]"},
      {"\"f(1)", 0, "string is not closed"},
  };
  for (const Case& c : cases) {
    std::string method;
    EncodableValue arguments;
    ParseError error;
    EXPECT_FALSE(ParseCall(c.text, &method, &arguments, &error)) << c.text;
    EXPECT_EQ(error.position, c.position) << c.text << ": " << error.message;
    EXPECT_NE(error.message.find(c.message_part), std::string::npos)
        << c.text << ": " << error.message;
  }
}

TEST(ChannelNotationTest, PrintsReplyEnvelopes) {
  struct Case {
    const char* hex;
    const char* text;
  } const cases[] = {
      {"", "notImplemented"},
      {"00 00", "success(null)"},
      {"00 03 05 00 00 00", "success(5)"},
      {"00 06 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F", "success(1.0)"},
      {"01 07 01 58 00 00", "error(\"X\", null, null)"},
      {"01 07 01 58 07 01 6D 0C 01 01", "error(\"X\", \"m\", [true])"},
      {"01 03 05 00 00 00 01 00", "error(5, true, null)"},
      {"02", "unknownStatus(2, bytes[])"},
      {"FF 01 02", "unknownStatus(255, bytes[01 02])"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes;
    ParseError error;
    ASSERT_TRUE(FromHex(c.hex, &bytes, &error)) << c.hex;
    EXPECT_EQ(PrintReply(bytes.data(), bytes.size()), c.text) << c.hex;
    // Every printed reply is notation that writes the same bytes again.
    Reply reply;
    ASSERT_TRUE(ParseReply(c.text, &reply, &error)) << c.text << ": " << error.message;
    EXPECT_EQ(Hex(EncodeReply(reply)), c.hex) << c.text;
  }
}

TEST(ChannelNotationTest, ParsesRepliesWithTheirShortForms) {
  struct Case {
    const char* text;
    const char* hex;
  } const cases[] = {
      {"success()", "00 00"},
      {"error(\"X\")", "01 07 01 58 00 00"},
      {"error(\"X\", \"\")", "01 07 01 58 07 00 00"},
      {"notImplemented", ""},
      {"unknownStatus(7)", "07"},
      {"error(\"INVALID_ARGUMENT\", \"Expected a map of arguments\", null)",
       "01 07 10 49 4E 56 41 4C 49 44 5F 41 52 47 55 4D 45 4E 54 07 1B 45 78 70 65 63 74 65 64 20 "
       "61 20 6D 61 70 20 6F 66 20 61 72 67 75 6D 65 6E 74 73 00"},
  };
  for (const Case& c : cases) {
    Reply reply;
    ParseError error;
    ASSERT_TRUE(ParseReply(c.text, &reply, &error)) << c.text << ": " << error.message;
    EXPECT_EQ(Hex(EncodeReply(reply)), c.hex) << c.text;
  }
  struct ErrorCase {
    const char* text;
    size_t position;
  } const errors[] = {
      {"succes(1)", 0},           {"error(", 6},
      {"error(\"X\" 1)", 10},     {"notImplemented()", 14},
      {"unknownStatus(1)", 14},   {"unknownStatus(2, [1])", 17},
      {"success(1) success", 11},
  };
  for (const ErrorCase& c : errors) {
    Reply reply;
    ParseError error;
    EXPECT_FALSE(ParseReply(c.text, &reply, &error)) << c.text;
    EXPECT_EQ(error.position, c.position) << c.text << ": " << error.message;
  }
}

TEST(ChannelNotationTest, ConvertsHexadecimal) {
  const std::vector<uint8_t> bytes = {0x07, 0x0C, 0xFF, 0x00};
  EXPECT_EQ(ToHex(bytes.data(), bytes.size()), "07 0C FF 00");
  EXPECT_EQ(ToHex(nullptr, 0), "");
  for (const char* text : {"07 0C FF 00", "070cff00", " 07\t0C\r\nff  00\n"}) {
    std::vector<uint8_t> parsed;
    ParseError error;
    ASSERT_TRUE(FromHex(text, &parsed, &error)) << text << ": " << error.message;
    EXPECT_EQ(parsed, bytes) << text;
  }
  struct Case {
    const char* text;
    size_t position;
  } const errors[] = {{"0G", 1}, {"123", 2}, {"07 0", 3}, {"0 7", 0}, {"07,08", 2}, {"0x07", 1}};
  for (const Case& c : errors) {
    std::vector<uint8_t> parsed = {1};
    ParseError error;
    EXPECT_FALSE(FromHex(c.text, &parsed, &error)) << c.text;
    EXPECT_EQ(error.position, c.position) << c.text << ": " << error.message;
    EXPECT_EQ(parsed.size(), 1u) << c.text << ": output changed on error";
  }
}

TEST(ChannelNotationTest, DescribesPositionsByLineAndColumn) {
  EXPECT_EQ(DescribePosition("abc", 0), "line 1, column 1");
  EXPECT_EQ(DescribePosition("ab\ncd", 4), "line 2, column 2");
  EXPECT_EQ(DescribePosition("ab\n", 3), "line 2, column 1");
}

}  // namespace
}  // namespace tovan::notation
