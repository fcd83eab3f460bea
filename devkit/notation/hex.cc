// Hexadecimal text of channel messages, as engineers paste it from logs.
#include <utility>

#include "devkit/notation/channel_notation.h"

namespace tovan::notation {
namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string ToHex(const uint8_t* data, size_t size) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  if (size == 0) return text;
  text.reserve(size * 3 - 1);
  for (size_t i = 0; i < size; ++i) {
    if (i != 0) text += ' ';
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 0x0F];
  }
  return text;
}

bool FromHex(std::string_view text, std::vector<uint8_t>* out, ParseError* error) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  size_t i = 0;
  while (i < text.size()) {
    if (IsSpace(text[i])) {
      ++i;
      continue;
    }
    // A run of digits between whitespace holds whole bytes: "0C0A" is two
    // bytes, "C 0A" is a stray half byte rather than 0C 0A.
    const size_t run_start = i;
    while (i < text.size() && !IsSpace(text[i])) {
      if (HexDigitValue(text[i]) < 0) {
        error->position = i;
        error->message = "not a hexadecimal digit";
        return false;
      }
      ++i;
    }
    if ((i - run_start) % 2 != 0) {
      error->position = i - 1;
      error->message = "odd number of hexadecimal digits: every byte takes two";
      return false;
    }
    for (size_t j = run_start; j < i; j += 2) {
      bytes.push_back(
          static_cast<uint8_t>(HexDigitValue(text[j]) * 16 + HexDigitValue(text[j + 1])));
    }
  }
  *out = std::move(bytes);
  return true;
}

std::string DescribePosition(std::string_view text, size_t position) {
  size_t line = 1;
  size_t column = 1;
  for (size_t i = 0; i < position && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

}  // namespace tovan::notation
