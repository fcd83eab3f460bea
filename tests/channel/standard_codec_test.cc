// Tests of the standard message codec: golden encodings, the decoding of
// truncated and malformed messages with their diagnostics, the bounds on
// decoding hostile messages, extension through a derived serializer, and
// the byte-buffer streams.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "channel/byte_buffer_streams.h"
#include "channel/standard_codec_serializer.h"
#include "tests/channel/channel_test_support.h"

namespace flutter {
namespace {

using tovan_test::Bytes;
using tovan_test::CerrCapture;
using tovan_test::Concat;
using tovan_test::Encode;
using tovan_test::Hex;
using tovan_test::kInvalidRead;
using tovan_test::TextBytes;

constexpr const char* kGaveUpAnnouncing =
    "Message announces more than it holds in StandardCodecSerializer::ReadValueOfType; "
    "ignoring the rest of the message.";
constexpr const char* kGaveUpNesting =
    "Message nested too deeply in StandardCodecSerializer::ReadValueOfType; "
    "ignoring the rest of the message.";

struct Decoded {
  std::vector<EncodableValue> values;
  std::vector<std::string> lines;
  uint64_t position = 0;
};

// The codec reads and writes the buffer streams themselves in place; a
// class derived from them takes the general path through their virtual
// operations. Every message below goes both ways, which must agree.
class GeneralPathReader : public ByteBufferStreamReader {
 public:
  using ByteBufferStreamReader::ByteBufferStreamReader;
};
class GeneralPathWriter : public ByteBufferStreamWriter {
 public:
  using ByteBufferStreamWriter::ByteBufferStreamWriter;
};

template <class Reader>
Decoded DecodeWith(const std::vector<uint8_t>& message, size_t count,
                   const StandardCodecSerializer& serializer) {
  Decoded decoded;
  CerrCapture cerr;
  Reader reader(message.data(), message.size());
  for (size_t i = 0; i < count; ++i) {
    decoded.values.push_back(serializer.ReadTaggedValue(&reader));
  }
  decoded.lines = cerr.Lines();
  decoded.position = reader.Position();
  return decoded;
}

// The bytes of `values` written in a row by `serializer`: the two paths must
// agree bit for bit (custom values, which compare by address, included).
std::vector<uint8_t> EncodeAll(const std::vector<EncodableValue>& values,
                               const StandardCodecSerializer& serializer) {
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  for (const EncodableValue& value : values) {
    serializer.WriteValue(value, &writer);
  }
  return bytes;
}

// Reads `count` values in a row from one message, as the method codec does.
Decoded Decode(const std::vector<uint8_t>& message, size_t count = 1,
               const StandardCodecSerializer& serializer = StandardCodecSerializer::GetInstance()) {
  const Decoded decoded = DecodeWith<ByteBufferStreamReader>(message, count, serializer);
  const Decoded general = DecodeWith<GeneralPathReader>(message, count, serializer);
  EXPECT_TRUE(EncodeAll(decoded.values, serializer) == EncodeAll(general.values, serializer))
      << Hex(message);
  EXPECT_EQ(decoded.lines, general.lines) << Hex(message);
  EXPECT_EQ(decoded.position, general.position) << Hex(message);
  return decoded;
}

std::vector<uint8_t> EncodeBothWays(const EncodableValue& value) {
  const std::vector<uint8_t> bytes = Encode(value);
  std::vector<uint8_t> general;
  GeneralPathWriter writer(&general);
  StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  EXPECT_EQ(bytes, general);
  return bytes;
}

std::vector<uint8_t> Repeat(const std::vector<uint8_t>& part, size_t times) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < times; ++i) {
    bytes.insert(bytes.end(), part.begin(), part.end());
  }
  return bytes;
}

// Lists nested `depth` deep, the innermost holding `innermost`.
EncodableValue NestedLists(size_t depth, EncodableValue innermost) {
  EncodableValue value = std::move(innermost);
  for (size_t i = 0; i < depth; ++i) {
    value = EncodableValueList{std::move(value)};
  }
  return value;
}

size_t ListDepth(const EncodableValue* value) {
  size_t depth = 0;
  while (const EncodableValueList* list = value->TryGet<EncodableValueList>()) {
    ++depth;
    if (list->empty()) {
      break;
    }
    value = &(*list)[0];
  }
  return depth;
}

TEST(StandardCodecTest, GoldenEncodingsRoundTrip) {
  const std::string string254(254, 'x');
  const std::vector<uint8_t> bytes65535(65535, 0xAB);
  const std::vector<uint8_t> bytes65536(65536, 0xCD);
  struct Case {
    const char* name;
    EncodableValue value;
    std::vector<uint8_t> encoding;
  };
  const Case cases[] = {
      {"null", EncodableValue(), Bytes("00")},
      {"true", true, Bytes("01")},
      {"false", false, Bytes("02")},
      {"int32 -1", int32_t{-1}, Bytes("03 FF FF FF FF")},
      {"int64 1", int64_t{1}, Bytes("04 01 00 00 00 00 00 00 00")},
      {"double 1.0", 1.0, Bytes("06 00 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F")},
      {"string abc", "abc", Bytes("07 03 61 62 63")},
      {"empty string", "", Bytes("07 00")},
      {"string of 253 bytes", std::string(253, 'y'),
       Concat(Bytes("07 FD"), TextBytes(std::string(253, 'y')))},
      {"string of 254 bytes", string254, Concat(Bytes("07 FE FE 00"), TextBytes(string254))},
      {"string with NUL", std::string("a\0b", 3), Bytes("07 03 61 00 62")},
      {"byte list", std::vector<uint8_t>{1, 2, 3}, Bytes("08 03 01 02 03")},
      {"byte list of 65535", bytes65535, Concat(Bytes("08 FE FF FF"), bytes65535)},
      {"byte list of 65536", bytes65536, Concat(Bytes("08 FF 00 00 01 00"), bytes65536)},
      {"int32 list [1]", std::vector<int32_t>{1}, Bytes("09 01 00 00 01 00 00 00")},
      {"int64 list [1, -1]", std::vector<int64_t>{1, -1},
       Bytes("0A 02 00 00 00 00 00 00 01 00 00 00 00 00 00 00 FF FF FF FF FF FF FF FF")},
      {"double list [1.0]", std::vector<double>{1.0},
       Bytes("0B 01 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F")},
      {"float list [1.5]", std::vector<float>{1.5f}, Bytes("0E 01 00 00 00 00 C0 3F")},
      {"empty byte list", std::vector<uint8_t>{}, Bytes("08 00")},
      {"list [1, \"a\"]", EncodableValueList{1, "a"}, Bytes("0C 02 03 01 00 00 00 07 01 61")},
      {"empty list", EncodableValueList{}, Bytes("0C 00")},
      {"map {\"a\": true}", EncodableValueMap{{"a", true}}, Bytes("0D 01 07 01 61 01")},
      {"map written in key order", EncodableValueMap{{"b", 1}, {"a", 2}},
       Bytes("0D 02 07 01 61 03 02 00 00 00 07 01 62 03 01 00 00 00")},
      {"double in a list aligns from the message start", EncodableValueList{1.0},
       Bytes("0C 01 06 00 00 00 00 00 00 00 00 00 00 00 F0 3F")},
      {"map of list of maps",
       EncodableValueMap{{"d", EncodableValueList{EncodableValueMap{{"i", 0}}}}},
       Bytes("0D 01 07 01 64 0C 01 0D 01 07 01 69 03 00 00 00 00")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeBothWays(c.value), c.encoding) << c.name;
    const Decoded decoded = Decode(c.encoding);
    EXPECT_EQ(decoded.values[0], c.value) << c.name;
    EXPECT_EQ(decoded.values[0].Index(), c.value.Index()) << c.name;
    EXPECT_EQ(decoded.lines, std::vector<std::string>()) << c.name;
    EXPECT_EQ(decoded.position, c.encoding.size()) << c.name;
  }
}

TEST(StandardCodecTest, EmptyTypedListIsWrittenWithoutPadding) {
  EXPECT_EQ(Encode(std::vector<int32_t>{}), Bytes("09 00"));
  EXPECT_EQ(Encode(std::vector<int64_t>{}), Bytes("0A 00"));
  EXPECT_EQ(Encode(std::vector<float>{}), Bytes("0E 00"));
}

TEST(StandardCodecTest, CustomValueIsWrittenAsNullWithADiagnostic) {
  CerrCapture cerr;
  EXPECT_EQ(EncodeBothWays(EncodableValueList{CustomValue(5), 1}),
            Bytes("0C 02 00 03 01 00 00 00"));
  const std::string custom_line =
      "Unhandled custom type in StandardCodecSerializer::WriteValue. "
      "Custom types require codec extensions.";
  EXPECT_EQ(cerr.Lines(), (std::vector<std::string>{custom_line, custom_line}));
}

TEST(StandardCodecTest, TruncatedAndMalformedMessagesDecodeWithZerosNullsAndDiagnostics) {
  const std::string unknown_15 = "Unknown type in StandardCodecSerializer::ReadValueOfType: 15";
  struct Case {
    const char* name;
    std::vector<uint8_t> message;
    size_t reads;
    std::vector<EncodableValue> values;
    std::vector<std::string> lines;
    uint64_t position;
  };
  const Case cases[] = {
      {"tag 5 is a string", Bytes("05 02 31 32"), 1, {"12"}, {}, 4},
      {"size prefix need not be shortest", Bytes("07 FE 03 00 61 62 63"), 1, {"abc"}, {}, 7},
      {"tag 15 is null", Bytes("0F"), 1, {EncodableValue()}, {unknown_15}, 1},
      {"tag 255 is null and its payload the next value",
       Bytes("FF 01"),
       2,
       {EncodableValue(), true},
       {"Unknown type in StandardCodecSerializer::ReadValueOfType: 255"},
       2},
      {"truncated int32", Bytes("03 01 02"), 1, {int32_t{0}}, {kInvalidRead}, 1},
      {"truncated int64", Bytes("04 01"), 1, {int64_t{0}}, {kInvalidRead}, 1},
      {"truncated double", Bytes("06 00 00"), 1, {0.0}, {kInvalidRead}, 8},
      {"missing tag", Bytes(""), 1, {EncodableValue()}, {kInvalidRead}, 0},
      {"truncated 2-byte size prefix", Bytes("07 FE 01"), 1, {""}, {kInvalidRead}, 2},
      {"duplicate map key keeps the first",
       Bytes("0D 02 07 01 6B 03 01 00 00 00 07 01 6B 03 02 00 00 00"),
       1,
       {EncodableValueMap{{"k", 1}}},
       {},
       18},
      {"duplicate key out of order keeps the first",
       Bytes("0D 03 07 01 62 03 01 00 00 00 07 01 61 03 02 00 00 00 07 01 62 03 03 00 00 00"),
       1,
       {EncodableValueMap{{"a", 2}, {"b", 1}}},
       {},
       26},
      {"keys in reverse order read in ascending order",
       Bytes("0D 03 07 01 63 01 07 01 62 01 07 01 61 02"),
       1,
       {EncodableValueMap{{"a", false}, {"b", true}, {"c", true}}},
       {},
       14},
      {"duplicate int32 key keeps the first",
       Bytes("0D 02 03 01 00 00 00 01 03 01 00 00 00 02"),
       1,
       {EncodableValueMap{{int32_t{1}, true}}},
       {},
       14},
      {"truncated string key is its announced count of NULs",
       Bytes("0D 01 07 03 61"),
       1,
       {EncodableValueMap{{std::string(3, '\0'), EncodableValue()}}},
       {kInvalidRead, "Unknown type in StandardCodecSerializer::ReadValueOfType: 97"},
       5},
      {"list of two missing elements",
       Bytes("0C 02"),
       1,
       {EncodableValueList{EncodableValue(), EncodableValue()}},
       {kInvalidRead, kInvalidRead},
       2},
      {"map with a missing pair",
       Bytes("0D 01"),
       1,
       {EncodableValueMap{{EncodableValue(), EncodableValue()}}},
       {kInvalidRead, kInvalidRead},
       2},
      {"empty int32 list at the end aligns past it",
       Bytes("09 00"),
       1,
       {std::vector<int32_t>{}},
       {kInvalidRead},
       4},
      {"empty int32 list skips the bytes up to its alignment",
       Bytes("09 00 AA BB 01"),
       2,
       {std::vector<int32_t>{}, true},
       {},
       5},
      {"truncated string is its announced count of NULs",
       Bytes("07 05 61"),
       1,
       {std::string(5, '\0')},
       {kInvalidRead},
       2},
      {"truncated byte list is zero-filled",
       Bytes("08 04 01 02"),
       1,
       {std::vector<uint8_t>(4, 0)},
       {kInvalidRead},
       2},
      {"truncated int64 list is zero-filled",
       Bytes("0A 02 00 00 00 00 00 00 01"),
       1,
       {std::vector<int64_t>{0, 0}},
       {kInvalidRead},
       8},
      {"failed read leaves the payload to be read again",
       Bytes("07 05 07 01 61"),
       2,
       {std::string(5, '\0'), "a"},
       {kInvalidRead},
       5},
  };
  for (const Case& c : cases) {
    const Decoded decoded = Decode(c.message, c.reads);
    ASSERT_EQ(decoded.values.size(), c.values.size()) << c.name;
    for (size_t i = 0; i < c.values.size(); ++i) {
      EXPECT_EQ(decoded.values[i], c.values[i]) << c.name << ", value " << i;
      EXPECT_EQ(decoded.values[i].Index(), c.values[i].Index()) << c.name << ", value " << i;
    }
    EXPECT_EQ(decoded.lines, c.lines) << c.name;
    EXPECT_EQ(decoded.position, c.position) << c.name;
  }
}

// Bounded decoding: a message that announces more than it holds beyond the
// allowance (64 elements; its length plus 64 bytes) is cut off with one line.
TEST(StandardCodecBoundsTest, HugeBlocksAreNotAllocated) {
  struct Case {
    const char* name;
    std::vector<uint8_t> message;
    EncodableValue value;
  };
  const Case cases[] = {
      {"string", Bytes("07 FF FF FF FF FF"), ""},
      {"legacy string", Bytes("05 FF FF FF FF FF"), ""},
      {"byte list", Bytes("08 FF FF FF FF FF"), std::vector<uint8_t>{}},
      {"int32 list", Bytes("09 FF FF FF FF FF"), std::vector<int32_t>{}},
      {"int64 list", Bytes("0A FF FF FF FF FF"), std::vector<int64_t>{}},
      {"double list", Bytes("0B FF FF FF FF FF"), std::vector<double>{}},
      {"float list", Bytes("0E FF FF FF FF FF"), std::vector<float>{}},
      {"string one byte beyond 4 + 64 missing bytes", Bytes("07 45 00 00"), ""},
  };
  for (const Case& c : cases) {
    const Decoded decoded = Decode(c.message);
    EXPECT_EQ(decoded.values[0], c.value) << c.name;
    EXPECT_EQ(decoded.values[0].Index(), c.value.Index()) << c.name;
    EXPECT_EQ(decoded.lines, std::vector<std::string>{kGaveUpAnnouncing}) << c.name;
  }
}

TEST(StandardCodecBoundsTest, TruncationWithinTheAllowanceDecodesAsAnnounced) {
  // 4 bytes of message: 4 + 64 bytes may be missing, the 68 of this string.
  const Decoded string = Decode(Bytes("07 44 00 00"));
  EXPECT_EQ(string.values[0].Get<std::string>(), std::string(0x44, '\0'));
  EXPECT_EQ(string.lines, std::vector<std::string>{kInvalidRead});

  // Three elements present, 64 missing.
  const Decoded list = Decode(Bytes("0C 43 00 00 00"));
  EXPECT_EQ(list.values[0].Get<EncodableValueList>().size(), 0x43u);
  EXPECT_EQ(list.lines, std::vector<std::string>(64, kInvalidRead));
}

TEST(StandardCodecBoundsTest, MissingElementsStopAtTheAllowance) {
  const size_t allowance = StandardCodecSerializer::kMissingAllowance;
  std::vector<std::string> expected_lines(allowance, kInvalidRead);
  expected_lines.push_back(kGaveUpAnnouncing);

  const Decoded list = Decode(Bytes("0C FF FF FF FF FF"));
  EXPECT_EQ(list.values[0].Get<EncodableValueList>().size(), allowance);
  EXPECT_EQ(list.lines, expected_lines);

  // Three elements present, one more than the allowance missing.
  const Decoded short_list = Decode(Bytes("0C 44 00 00 00"));
  EXPECT_EQ(short_list.values[0].Get<EncodableValueList>().size(), 3 + allowance);
  EXPECT_EQ(short_list.lines, expected_lines);

  // 32 pairs of nulls, all the same key, then no room for the next key.
  const Decoded map = Decode(Bytes("0D FF FF FF FF FF"));
  EXPECT_EQ(map.values[0], (EncodableValueMap{{EncodableValue(), EncodableValue()}}));
  EXPECT_EQ(map.lines, expected_lines);
}

TEST(StandardCodecBoundsTest, AfterGivingUpLaterReadsAreNullAndReadNothing) {
  const Decoded decoded = Decode(Bytes("0C 02 01 07 FF FF FF FF FF 01"), 2);
  EXPECT_EQ(decoded.values[0], (EncodableValueList{true, ""}));
  EXPECT_TRUE(decoded.values[1].IsNull());
  EXPECT_EQ(decoded.lines, std::vector<std::string>{kGaveUpAnnouncing});
  EXPECT_EQ(decoded.position, 9u);
}

TEST(StandardCodecBoundsTest, NestingUpToTheLimitRoundTrips) {
  const size_t limit = StandardCodecSerializer::kMaxNestingDepth;
  const EncodableValue deepest = NestedLists(limit - 1, EncodableValueMap{{"k", 1}});
  const std::vector<uint8_t> message = Encode(deepest);
  const Decoded decoded = Decode(message);
  EXPECT_EQ(decoded.lines, std::vector<std::string>());
  EXPECT_EQ(decoded.values[0], deepest);
  EXPECT_EQ(Encode(decoded.values[0]), message);
}

TEST(StandardCodecBoundsTest, DeeperNestingIsCutAtTheLimit) {
  const size_t limit = StandardCodecSerializer::kMaxNestingDepth;
  // 100 KB of one-element lists, and the same through map keys and values.
  struct Case {
    const char* name;
    std::vector<uint8_t> message;
  };
  const Case cases[] = {
      {"lists", Repeat(Bytes("0C 01"), 50000)},
      {"map values", Repeat(Bytes("0D 01 00"), 33000)},
      {"map keys", Repeat(Bytes("0D 01"), 50000)},
      {"lists announcing 2^32 - 1 elements", Repeat(Bytes("0C FF FF FF FF FF"), 17000)},
  };
  for (const Case& c : cases) {
    const Decoded decoded = Decode(c.message, 2);
    EXPECT_EQ(decoded.lines, std::vector<std::string>{kGaveUpNesting}) << c.name;
    EXPECT_TRUE(decoded.values[1].IsNull()) << c.name;
    // Every later operation copes with the depth the decoder allows.
    const EncodableValue copy = decoded.values[0];
    EXPECT_EQ(copy, decoded.values[0]) << c.name;
    EXPECT_FALSE(copy < decoded.values[0]) << c.name;
    const Decoded again = Decode(Encode(copy));
    EXPECT_EQ(again.values[0], copy) << c.name;
    EXPECT_EQ(again.lines, std::vector<std::string>()) << c.name;
  }
  const Decoded lists = Decode(Repeat(Bytes("0C 01"), 50000));
  EXPECT_EQ(ListDepth(&lists.values[0]), limit);
  EXPECT_EQ(lists.values[0], NestedLists(limit, EncodableValue()));
}

// A reader that does not know its size: only the depth bound applies.
class UnsizedReader : public ByteStreamReader {
 public:
  explicit UnsizedReader(const std::vector<uint8_t>& bytes) : inner_(bytes.data(), bytes.size()) {}
  uint8_t TakeByte() override { return inner_.TakeByte(); }
  void TakeBytes(uint8_t* destination, size_t count) override {
    inner_.TakeBytes(destination, count);
  }
  void SkipToAlignment(uint8_t alignment) override { inner_.SkipToAlignment(alignment); }

 private:
  ByteBufferStreamReader inner_;
};

TEST(StandardCodecBoundsTest, ReadersOfUnknownSizeStillBoundTheDepth) {
  const std::vector<uint8_t> well_formed = Bytes("0C 02 03 01 00 00 00 07 01 61");
  UnsizedReader reader(well_formed);
  EXPECT_EQ(StandardCodecSerializer::GetInstance().ReadTaggedValue(&reader),
            (EncodableValueList{1, "a"}));

  const std::vector<uint8_t> deep = Repeat(Bytes("0C 01"), 1000);
  UnsizedReader deep_reader(deep);
  CerrCapture cerr;
  const EncodableValue value = StandardCodecSerializer::GetInstance().ReadTaggedValue(&deep_reader);
  EXPECT_EQ(ListDepth(&value), StandardCodecSerializer::kMaxNestingDepth);
  EXPECT_EQ(cerr.Lines(), std::vector<std::string>{kGaveUpNesting});
}

// A serializer that carries points as tag 128: its overrides apply at every
// depth of nesting, in both directions.
struct Point {
  int32_t x;
  int32_t y;
};

class PointSerializer : public StandardCodecSerializer {
 public:
  void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const override {
    const CustomValue* custom = value.TryGet<CustomValue>();
    const Point* point = custom != nullptr ? custom->TryGetAs<Point>() : nullptr;
    if (point == nullptr) {
      StandardCodecSerializer::WriteValue(value, stream);
      return;
    }
    stream->PutByte(kPointTag);
    WriteValue(point->x, stream);
    WriteValue(point->y, stream);
  }

 protected:
  EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const override {
    if (type != kPointTag) {
      return StandardCodecSerializer::ReadValueOfType(type, stream);
    }
    const EncodableValue x = ReadTaggedValue(stream);
    const EncodableValue y = ReadTaggedValue(stream);
    return CustomValue(Point{x.Get<int32_t>(), y.Get<int32_t>()});
  }

 private:
  static constexpr uint8_t kPointTag = 128;
};

TEST(StandardCodecTest, DerivedSerializerExtendsEveryLevel) {
  const PointSerializer serializer;
  const EncodableValue value =
      EncodableValueMap{{"at", EncodableValueList{CustomValue(Point{1, -2})}}};
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  serializer.WriteValue(value, &writer);
  EXPECT_EQ(Hex(bytes), Hex(Bytes("0D 01 07 02 61 74 0C 01 80 03 01 00 00 00 03 FE FF FF FF")));

  const Decoded decoded = Decode(bytes, 1, serializer);
  EXPECT_EQ(decoded.lines, std::vector<std::string>());
  const EncodableValue& element =
      decoded.values[0].Get<EncodableValueMap>().Find("at")->Get<EncodableValueList>()[0];
  const Point* point = element.Get<CustomValue>().TryGetAs<Point>();
  ASSERT_NE(point, nullptr);
  EXPECT_EQ(point->x, 1);
  EXPECT_EQ(point->y, -2);
}

TEST(ByteBufferStreamsTest, ReaderTakesBlocksWholeOrNotAtAll) {
  const std::vector<uint8_t> buffer = Bytes("01 02 03");
  ByteBufferStreamReader reader(buffer.data(), buffer.size());
  uint8_t block[4] = {9, 9, 9, 9};
  CerrCapture cerr;
  reader.TakeBytes(block, 4);
  EXPECT_EQ(std::vector<uint8_t>(block, block + 4), Bytes("09 09 09 09"));
  EXPECT_EQ(reader.Position(), 0u);
  reader.TakeBytes(block, 3);
  EXPECT_EQ(std::vector<uint8_t>(block, block + 3), buffer);
  EXPECT_EQ(reader.RemainingBytes(), 0u);
  EXPECT_EQ(reader.TakeByte(), 0);
  EXPECT_EQ(reader.Position(), 3u);
  EXPECT_EQ(cerr.Lines(), (std::vector<std::string>{kInvalidRead, kInvalidRead}));
}

TEST(ByteBufferStreamsTest, AlignmentCountsFromTheMessageStartAndMayPassItsEnd) {
  const std::vector<uint8_t> buffer = Bytes("01 02");
  ByteBufferStreamReader reader(buffer.data(), buffer.size());
  reader.SkipToAlignment(8);
  EXPECT_EQ(reader.Position(), 0u);
  reader.TakeByte();
  reader.SkipToAlignment(4);
  EXPECT_EQ(reader.Position(), 4u);
  EXPECT_EQ(reader.RemainingBytes(), 0u);

  std::vector<uint8_t> output = Bytes("AA");
  ByteBufferStreamWriter writer(&output);
  writer.PadToAlignment(4);
  writer.PutBytes(buffer.data(), buffer.size());
  writer.PadToAlignment(8);
  writer.PadToAlignment(8);
  EXPECT_EQ(output, Bytes("AA 00 00 00 01 02 00 00"));
}

}  // namespace
}  // namespace flutter
