#ifndef TESTS_CHANNEL_CHANNEL_TEST_SUPPORT_H_
#define TESTS_CHANNEL_CHANNEL_TEST_SUPPORT_H_

// Helpers shared by the tests of the channel's value core: byte vectors
// written as hex text, a capture of the lines written to std::cerr, and a
// readable gtest printout of values (their encoding in hex).

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "channel/byte_buffer_streams.h"
#include "channel/encodable_value.h"
#include "channel/standard_codec_serializer.h"

namespace tovan_test {

// "07 03 61" -> {0x07, 0x03, 0x61}. Whitespace between bytes is optional.
inline std::vector<uint8_t> Bytes(const std::string& hex) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (char c : hex) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else {
      continue;
    }
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  return bytes;
}

inline std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char byte_text[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(byte_text, sizeof(byte_text), i == 0 ? "%02X" : " %02X", bytes[i]);
    text += byte_text;
  }
  return text;
}

inline std::vector<uint8_t> Concat(std::vector<uint8_t> head, const std::vector<uint8_t>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

inline std::vector<uint8_t> TextBytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Redirects std::cerr while alive; Lines() gives what was written, split at
// line ends (each line must end with one).
class CerrCapture {
 public:
  CerrCapture() : previous_(std::cerr.rdbuf(captured_.rdbuf())) {}
  CerrCapture(const CerrCapture&) = delete;
  CerrCapture& operator=(const CerrCapture&) = delete;
  ~CerrCapture() { std::cerr.rdbuf(previous_); }

  std::string Text() const { return captured_.str(); }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    const std::string text = captured_.str();
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
      lines.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    if (start != text.size()) {
      lines.push_back("(unterminated) " + text.substr(start));
    }
    return lines;
  }

 private:
  std::ostringstream captured_;
  std::streambuf* previous_;
};

inline std::vector<uint8_t> Encode(const flutter::EncodableValue& value) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  flutter::StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

constexpr const char* kInvalidRead = "Invalid read in StandardCodecByteStreamReader";

}  // namespace tovan_test

namespace flutter {

// gtest prints values through their encoding, which names every byte.
inline void PrintTo(const EncodableValue& value, std::ostream* out) {
  std::streambuf* previous = std::cerr.rdbuf(nullptr);  // custom values complain
  *out << "EncodableValue{index " << value.Index() << ", encoded "
       << tovan_test::Hex(tovan_test::Encode(value)) << "}";
  std::cerr.rdbuf(previous);
}

}  // namespace flutter

#endif  // TESTS_CHANNEL_CHANNEL_TEST_SUPPORT_H_
