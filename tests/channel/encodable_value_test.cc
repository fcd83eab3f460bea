// Tests of EncodableValue, its list and map, CustomValue and the fail-fast
// end of a checked read of the wrong alternative.

#include "channel/encodable_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/channel/channel_test_support.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace flutter {
namespace {

struct Point {
  int x;
  int y;
};

TEST(EncodableValueTest, EachAlternativeHasItsIndex) {
  struct Case {
    const char* name;
    EncodableValue value;
    size_t index;
  };
  const Case cases[] = {
      {"default", EncodableValue(), 0},
      {"bool", EncodableValue(false), 1},
      {"int32", EncodableValue(int32_t{-7}), 2},
      {"int64", EncodableValue(int64_t{7}), 3},
      {"double", EncodableValue(0.5), 4},
      {"std::string", EncodableValue(std::string("x")), 5},
      {"text literal", EncodableValue("isDefault"), 5},
      {"byte list", EncodableValue(std::vector<uint8_t>{1}), 6},
      {"int32 list", EncodableValue(std::vector<int32_t>{1}), 7},
      {"int64 list", EncodableValue(std::vector<int64_t>{1}), 8},
      {"double list", EncodableValue(std::vector<double>{1}), 9},
      {"list", EncodableValue(EncodableValueList{1, "a"}), 10},
      {"map", EncodableValue(EncodableValueMap{{"a", 1}}), 11},
      {"custom", EncodableValue(CustomValue(Point{1, 2})), 12},
      {"float list", EncodableValue(std::vector<float>{1.5f}), 13},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value.Index(), c.index) << c.name;
    EXPECT_EQ(c.value.IsNull(), c.index == 0) << c.name;
  }
}

TEST(EncodableValueTest, TryGetGivesTheContentOnlyForTheHeldAlternative) {
  EncodableValue value("volume");
  ASSERT_NE(value.TryGet<std::string>(), nullptr);
  EXPECT_EQ(*value.TryGet<std::string>(), "volume");
  EXPECT_EQ(value.TryGet<std::vector<uint8_t>>(), nullptr);
  EXPECT_EQ(value.TryGet<int32_t>(), nullptr);
  EXPECT_EQ(value.Get<std::string>(), "volume");

  value.Get<std::string>() += "s";
  EXPECT_EQ(value.Get<std::string>(), "volumes");

  const EncodableValue number(int64_t{1} << 40);
  EXPECT_EQ(number.Get<int64_t>(), int64_t{1} << 40);
  EXPECT_EQ(number.TryGet<int32_t>(), nullptr);
}

// Pairs in ascending order: a < b and not b < a.
TEST(EncodableValueTest, OrderingFollowsIndexThenContent) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    EncodableValue less;
    EncodableValue greater;
  };
  const Case cases[] = {
      {"null < false", EncodableValue(), false},
      {"false < true", false, true},
      {"false < every int32", true, int32_t{-2147483647 - 1}},
      {"int32 1 < int64 1", int32_t{1}, int64_t{1}},
      {"int64 1 < double 1.0", int64_t{1}, 1.0},
      {"double 1.0 < string \"1\"", 1.0, "1"},
      {"int32 5 < int64 5", int32_t{5}, int64_t{5}},
      {"int32 signed", int32_t{-1}, int32_t{0}},
      {"int64 signed", int64_t{-5}, int64_t{3}},
      {"double", -0.5, 0.25},
      {"\"a\" < \"ab\"", "a", "ab"},
      {"\"ab\" < \"b\"", "ab", "b"},
      {"empty string least", "", std::string(1, '\0')},
      {"0x7F < 0x80 in strings", "x\x7Fy", "x\x80y"},
      {"string < byte list of same bytes", "volume", std::vector<uint8_t>{'v'}},
      {"byte lists unsigned", std::vector<uint8_t>{0x7F}, std::vector<uint8_t>{0x80}},
      {"byte list prefix", std::vector<uint8_t>{1}, std::vector<uint8_t>{1, 0}},
      {"int32 list signed", std::vector<int32_t>{-1}, std::vector<int32_t>{0}},
      {"int64 list prefix", std::vector<int64_t>{1}, std::vector<int64_t>{1, -9}},
      {"double list", std::vector<double>{1, 2}, std::vector<double>{1, 3}},
      {"double list NaN decides nothing", std::vector<double>{nan, 1}, std::vector<double>{0, 2}},
      {"double list prefix", std::vector<double>{nan}, std::vector<double>{0, 0}},
      {"empty list < any list", EncodableValueList{}, EncodableValueList{EncodableValue()}},
      {"[1, 2] < [1, 3]", EncodableValueList{1, 2}, EncodableValueList{1, 3}},
      {"[1, 3] < [2]", EncodableValueList{1, 3}, EncodableValueList{2}},
      {"[1] < [1, 0]", EncodableValueList{1}, EncodableValueList{1, 0}},
      {"{a: 1} < {a: 2}", EncodableValueMap{{"a", 1}}, EncodableValueMap{{"a", 2}}},
      {"{a: 2} < {b: 0}", EncodableValueMap{{"a", 2}}, EncodableValueMap{{"b", 0}}},
      {"map prefix", EncodableValueMap{{"a", 1}}, EncodableValueMap{{"a", 1}, {"b", 0}}},
      {"map < custom", EncodableValueMap{{"z", 9}}, CustomValue()},
      {"custom < float list", CustomValue(1), std::vector<float>{}},
      {"float list", std::vector<float>{1.5f}, std::vector<float>{2.5f}},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(c.less < c.greater) << c.name;
    EXPECT_FALSE(c.greater < c.less) << c.name;
  }
}

TEST(EncodableValueTest, EquivalentValuesAreNeitherLess) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    EncodableValue a;
    EncodableValue b;
  };
  const Case cases[] = {
      {"nulls", EncodableValue(), EncodableValue()},
      {"NaN and any double", nan, 42.0},
      {"double lists differing by NaN", std::vector<double>{nan, 1}, std::vector<double>{5, 1}},
      {"float lists differing by NaN", std::vector<float>{std::nanf("")}, std::vector<float>{7}},
      {"equal maps", EncodableValueMap{{"a", EncodableValueList{1}}},
       EncodableValueMap{{"a", EncodableValueList{1}}}},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(c.a < c.b) << c.name;
    EXPECT_FALSE(c.b < c.a) << c.name;
  }
}

TEST(EncodableValueTest, CustomValuesAreEquivalentOnlyToThemselves) {
  const EncodableValueList list{CustomValue(1), CustomValue(1)};
  EXPECT_FALSE(list[0] < list[0]);
  EXPECT_NE(list[0] < list[1], list[1] < list[0]);
}

TEST(EncodableValueMapTest, NumbersAndTextOfOneAreFourKeysInIndexOrder) {
  EncodableValueMap map;
  map.Entry("1") = "string";
  map.Entry(1.0) = "double";
  map.Entry(int64_t{1}) = "int64";
  map.Entry(int32_t{1}) = "int32";
  std::vector<std::string> order;
  for (const auto& entry : map) {
    order.push_back(entry.second.Get<std::string>());
  }
  EXPECT_EQ(order, (std::vector<std::string>{"int32", "int64", "double", "string"}));
}

TEST(EncodableValueMapTest, FindMatchesOnlyEquivalentKeysOfTheSameAlternative) {
  EncodableValueMap map{{std::vector<uint8_t>{'v', 'o', 'l', 'u', 'm', 'e'}, 0.5}};
  EXPECT_EQ(map.Find("volume"), nullptr);
  map.Entry("volume") = 0.25;
  ASSERT_NE(map.Find("volume"), nullptr);
  EXPECT_EQ(map.Find("volume")->Get<double>(), 0.25);
  EXPECT_EQ(map.Find(int32_t{0}), nullptr);

  const EncodableValueMap& read_only = map;
  EXPECT_EQ(read_only.Find(std::vector<uint8_t>{'v', 'o', 'l', 'u', 'm', 'e'})->Get<double>(), 0.5);
}

TEST(EncodableValueMapTest, EntryInsertsNullAndInsertIfAbsentKeepsTheFirstValue) {
  EncodableValueMap map;
  map.Entry("deviceId");
  ASSERT_EQ(map.size(), 1u);
  ASSERT_NE(map.Find("deviceId"), nullptr);
  EXPECT_TRUE(map.Find("deviceId")->IsNull());

  EXPECT_TRUE(map.InsertIfAbsent("k", 1));
  EXPECT_FALSE(map.InsertIfAbsent("k", 2));
  EXPECT_EQ(map.Find("k")->Get<int32_t>(), 1);
  EXPECT_EQ(map.size(), 2u);

  map.clear();
  EXPECT_TRUE(map.empty());
  EXPECT_EQ(map.Find("k"), nullptr);
}

TEST(EncodableValueMapTest, NanKeysMatchWhateverDoubleKeyTheyMeet) {
  EncodableValueMap map;
  map.Entry(1.0) = "one";
  const EncodableValue* found = map.Find(std::numeric_limits<double>::quiet_NaN());
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Get<std::string>(), "one");
  EXPECT_FALSE(map.InsertIfAbsent(std::numeric_limits<double>::quiet_NaN(), "nan"));
}

TEST(EncodableValueTest, CopiesAreDeepAndIndependent) {
  EncodableValueMap source{{"devices", EncodableValueList{EncodableValueMap{{"id", "a"}}, "x"}}};
  EncodableValue copy = EncodableValue(source);
  EncodableValueList& devices =
      copy.Get<EncodableValueMap>().Entry("devices").Get<EncodableValueList>();
  devices[0].Get<EncodableValueMap>().Entry("id") = "changed";
  devices.Append(3);

  const EncodableValueList& original = source.Find("devices")->Get<EncodableValueList>();
  ASSERT_EQ(original.size(), 2u);
  EXPECT_EQ(original[0].Get<EncodableValueMap>().Find("id")->Get<std::string>(), "a");
  EXPECT_EQ(devices.size(), 3u);
}

TEST(EncodableValueTest, CustomValueCopiesItsObject) {
  EncodableValue value(CustomValue(Point{3, 4}));
  EncodableValue copy = value;
  copy.Get<CustomValue>().TryGetAs<Point>()->x = 30;
  EXPECT_EQ(value.Get<CustomValue>().TryGetAs<Point>()->x, 3);
  EXPECT_EQ(copy.Get<CustomValue>().TryGetAs<Point>()->x, 30);
  EXPECT_EQ(value.Get<CustomValue>().TryGetAs<int>(), nullptr);
  EXPECT_TRUE(value.Get<CustomValue>().Type() == typeid(Point));
  EXPECT_FALSE(CustomValue().HasValue());
}

TEST(EncodableValueTest, MovedFromValuesStayUsable) {
  EncodableValue source(EncodableValueList{1, 2, 3});
  EncodableValue target = std::move(source);
  EXPECT_EQ(target.Get<EncodableValueList>().size(), 3u);
  source = "reassigned";  // NOLINT(bugprone-use-after-move): assignment is allowed
  EXPECT_EQ(source.Get<std::string>(), "reassigned");

  // Assigning another alternative replaces the old content.
  target = int64_t{9};
  EXPECT_EQ(target.Index(), EncodableValue::kInt64);
}

TEST(EncodableValueListTest, AppendReserveAndIterateInOrder) {
  EncodableValueList list;
  list.Reserve(3);
  list.Append("a");
  list.Append(2);
  list.Append(EncodableValue());
  ASSERT_EQ(list.size(), 3u);
  std::vector<size_t> indices;
  for (const EncodableValue& element : list) {
    indices.push_back(element.Index());
  }
  EXPECT_EQ(indices, (std::vector<size_t>{5, 2, 0}));
}

// A checked read of the wrong alternative ends the process at once: no
// exception reaches a catch block and no handler of the process runs.
#if defined(_WIN32)
LONG CALLBACK ExitFromHandler(EXCEPTION_POINTERS*) { ExitProcess(77); }

void ReadWrongAlternativeUnderHandlers() {
  AddVectoredExceptionHandler(1, ExitFromHandler);
  SetUnhandledExceptionFilter(ExitFromHandler);
  try {
    const EncodableValue value(int32_t{1});
    std::fprintf(stderr, "%zu\n", value.Get<std::string>().size());
  } catch (...) {
    ExitProcess(78);
  }
}

TEST(EncodableValueDeathTest, WrongAlternativeFailsFastWithInvalidArgument) {
  // A fail-fast ends the process with STATUS_STACK_BUFFER_OVERRUN; a handler
  // or catch block that saw it would have exited with 77 or 78 instead.
  EXPECT_EXIT(ReadWrongAlternativeUnderHandlers(),
              testing::ExitedWithCode(static_cast<int>(0xC0000409)), "bad variant access");
}
#else
void ReadWrongAlternative() {
  try {
    const EncodableValue value(int32_t{1});
    std::fprintf(stderr, "%zu\n", value.Get<std::string>().size());
  } catch (...) {
    std::fprintf(stderr, "caught\n");
    std::exit(78);
  }
}

TEST(EncodableValueDeathTest, WrongAlternativeAbortsWithBadVariantAccess) {
  EXPECT_DEATH(ReadWrongAlternative(), "^bad variant access\n$");
}
#endif

}  // namespace
}  // namespace flutter
