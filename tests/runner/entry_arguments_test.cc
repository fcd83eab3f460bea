// ArgumentToUtf8 on its own, and CollectEntryArguments on real command lines:
// the test starts itself as a child with a chosen command line and reads back
// what the child collected, one argument a line in hex.
#include "runner/entry_arguments.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace {

constexpr const char kChildFlag[] = "--print-entry-arguments";

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

// Runs this program with `arguments` appended to its quoted path and answers
// the child's output lines, each "[" + hex + "]".
std::vector<std::string> CollectInChild(const std::wstring& arguments) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command_line = L"\"" + std::wstring(self) + L"\" " + arguments;

  tovan_test::ChildOptions options;
  options.command_line = command_line;
  options.err = tovan_test::ChildStream::kInherit;
  tovan_test::ChildProcess child(options);
  EXPECT_TRUE(child.started()) << child.start_error();
  EXPECT_TRUE(child.WaitForExit(60000)) << "the child did not end within 60 s";
  const std::string& output = child.out();

  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = output.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string Bracketed(const std::string& utf8) { return "[" + Hex(utf8) + "]"; }

TEST(ArgumentToUtf8Test, ConvertsValidTextsAndAnswersEmptyForTheRest) {
  struct Case {
    const char* name;
    const wchar_t* text;
    std::string expected;
  };
  const Case cases[] = {
      {"null text", nullptr, ""},
      {"empty text", L"", ""},
      {"ASCII", L"--alpha", "--alpha"},
      {"two-byte and three-byte", L"\u00e9t\u00e9 \u20ac", "\xc3\xa9t\xc3\xa9 \xe2\x82\xac"},
      {"surrogate pair", L"\xd83d\xdcde", "\xf0\x9f\x93\x9e"},
      {"unpaired high surrogate", L"a\xd83d", ""},
      {"unpaired low surrogate",
       L"\xdcde"
       L"b",
       ""},
      {"reversed pair", L"\xdcde\xd83d", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ArgumentToUtf8(c.text), c.expected) << c.name;
  }
}

TEST(ArgumentToUtf8Test, KeepsLongTextsWhole) {
  const std::wstring long_text(100000, L'\u00e9');
  const std::string converted = ArgumentToUtf8(long_text.c_str());
  ASSERT_EQ(converted.size(), 200000u);
  EXPECT_EQ(converted.substr(0, 4), "\xc3\xa9\xc3\xa9");
}

TEST(CollectEntryArgumentsTest, AnswersTheArgumentsAfterTheProgramPathInOrder) {
  struct Case {
    const char* name;
    std::wstring arguments;  // after the child flag
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"no arguments", L"", {}},
      {"two arguments", L"--alpha x", {"--alpha", "x"}},
      {"quoted with blanks", L"\"a b\" \"\" c", {"a b", "", "c"}},
      {"escaped quote", L"say\\\"hi\\\"", {"say\"hi\""}},
      {"non-ASCII", L"\u00e9t\u00e9 \xd83d\xdcde", {"\xc3\xa9t\xc3\xa9", "\xf0\x9f\x93\x9e"}},
      {"unpaired surrogate keeps its place", L"first a\xd83d last", {"first", "", "last"}},
  };
  for (const Case& c : cases) {
    std::wstring command = L"--print-entry-arguments";
    if (!c.arguments.empty()) command += L" " + c.arguments;
    std::vector<std::string> expected = {Bracketed(kChildFlag)};
    for (const std::string& e : c.expected) expected.push_back(Bracketed(e));
    EXPECT_EQ(CollectInChild(command), expected) << c.name;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], kChildFlag) == 0) {
    for (const std::string& argument : CollectEntryArguments()) {
      std::printf("%s\n", Bracketed(argument).c_str());
    }
    return 0;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
