// Reads channel values written in the typed notation. Hostile text cannot
// exhaust the stack (nesting is bounded) and every error names the byte where
// reading stopped.
#include <charconv>
#include <cstring>
#include <limits>
#include <utility>

#include "devkit/notation/channel_notation.h"
#include "devkit/notation/notation_text.h"

namespace tovan::notation {
namespace internal {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string* out, uint32_t code) {
  if (code < 0x80) {
    *out += static_cast<char>(code);
  } else if (code < 0x800) {
    *out += static_cast<char>(0xC0 | (code >> 6));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *out += static_cast<char>(0xE0 | (code >> 12));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (code >> 18));
    *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The lexical shape of a number: sign, digits, fraction, exponent, suffix.
struct NumberToken {
  size_t start = 0;
  std::string_view text;  // Without the L suffix.
  bool is_floating = false;
  bool has_l_suffix = false;
};

bool ScanNumber(Cursor* cursor, NumberToken* token) {
  token->start = cursor->position();
  const std::string_view all = cursor->text();
  size_t end = token->start;
  if (cursor->Peek() == '-') ++end;
  const size_t digits_start = end;
  while (end < all.size() && IsDigit(all[end])) ++end;
  if (end == digits_start) return cursor->Fail(end, "expected a digit");
  if (end < all.size() && all[end] == '.') {
    token->is_floating = true;
    const size_t fraction_start = ++end;
    while (end < all.size() && IsDigit(all[end])) ++end;
    if (end == fraction_start) return cursor->Fail(end, "expected a digit after the point");
  }
  if (end < all.size() && (all[end] == 'e' || all[end] == 'E')) {
    token->is_floating = true;
    ++end;
    if (end < all.size() && (all[end] == '+' || all[end] == '-')) ++end;
    const size_t exponent_start = end;
    while (end < all.size() && IsDigit(all[end])) ++end;
    if (end == exponent_start) return cursor->Fail(end, "expected a digit in the exponent");
  }
  token->text = all.substr(token->start, end - token->start);
  if (end < all.size() && all[end] == 'L') {
    token->has_l_suffix = true;
    ++end;
  }
  if (end < all.size() && (IsWordChar(all[end]) || all[end] == '.')) {
    return cursor->Fail(end, "unexpected character in a number");
  }
  if (token->is_floating && token->has_l_suffix) {
    return cursor->Fail(end - 1, "an int64 (L suffix) has no point or exponent");
  }
  cursor->Advance(end - token->start);
  return true;
}

template <class Int>
bool ConvertInteger(Cursor* cursor, const NumberToken& token, Int* out, const char* type_name) {
  const char* first = token.text.data();
  const char* last = first + token.text.size();
  const std::from_chars_result result = std::from_chars(first, last, *out);
  if (result.ec != std::errc() || result.ptr != last) {
    std::string message = std::string(token.text) + " does not fit an " + type_name;
    if (std::is_same_v<Int, int32_t>) message += "; write it with an L suffix for an int64";
    return cursor->Fail(token.start, std::move(message));
  }
  return true;
}

template <class Float>
bool ConvertFloating(Cursor* cursor, const NumberToken& token, Float* out) {
  const char* first = token.text.data();
  const char* last = first + token.text.size();
  const std::from_chars_result result = std::from_chars(first, last, *out);
  if (result.ec != std::errc() || result.ptr != last) {
    return cursor->Fail(token.start, std::string(token.text) + " is out of range for " +
                                         (sizeof(Float) == 8 ? "a double" : "a float"));
  }
  return true;
}

// nan, -nan, inf, -inf or nan(0x<bits>) at the cursor, for a double or a
// float. Returns false without an error when the cursor is not on one.
template <class Float, class Bits>
bool ScanSpecialFloat(Cursor* cursor, Float* out, bool* matched) {
  *matched = false;
  const size_t start = cursor->position();
  const bool negative = cursor->Peek() == '-';
  if (negative) cursor->Advance();
  const std::string_view word = cursor->TakeWord();
  if (word == "inf") {
    *out =
        negative ? -std::numeric_limits<Float>::infinity() : std::numeric_limits<Float>::infinity();
  } else if (word == "nan") {
    Bits bits;
    const Float quiet = std::numeric_limits<Float>::quiet_NaN();
    std::memcpy(&bits, &quiet, sizeof(bits));
    constexpr Bits kSign = Bits{1} << (sizeof(Bits) * 8 - 1);
    bits &= ~kSign;
    if (negative) bits |= kSign;
    if (!negative && cursor->Peek() == '(') {
      // nan(0x7FF4000000000000): a NaN with its exact bits.
      cursor->Advance();
      if (cursor->Peek() != '0' || (cursor->PeekAt(1) != 'x' && cursor->PeekAt(1) != 'X')) {
        return cursor->Fail(cursor->position(), "expected 0x and the NaN's bits");
      }
      cursor->Advance(2);
      constexpr int kDigits = sizeof(Bits) * 2;
      bits = 0;
      for (int i = 0; i < kDigits; ++i) {
        const int digit = HexValue(cursor->Peek());
        if (digit < 0) {
          return cursor->Fail(cursor->position(), "expected " + std::to_string(kDigits) +
                                                      " hexadecimal digits of the NaN's bits");
        }
        bits = static_cast<Bits>((bits << 4) | static_cast<Bits>(digit));
        cursor->Advance();
      }
      if (cursor->Peek() != ')') return cursor->Fail(cursor->position(), "expected )");
      cursor->Advance();
    }
    std::memcpy(out, &bits, sizeof(bits));
    if (!(*out != *out)) return cursor->Fail(start, "those bits are not a NaN");
  } else {
    return cursor->Fail(start, "unknown word '" + std::string(word) + "'");
  }
  *matched = true;
  return true;
}

bool IsSpecialFloatStart(const Cursor& cursor) {
  const char c = cursor.Peek() == '-' ? cursor.PeekAt(1) : cursor.Peek();
  return c == 'n' || c == 'i';
}

template <class Float, class Bits>
bool ParseFloatElement(Cursor* cursor, Float* out) {
  if (IsSpecialFloatStart(*cursor)) {
    bool matched;
    return ScanSpecialFloat<Float, Bits>(cursor, out, &matched);
  }
  NumberToken token;
  if (!ScanNumber(cursor, &token)) return false;
  if (token.has_l_suffix) {
    return cursor->Fail(token.start, "an element of a floating-point list has no L suffix");
  }
  return ConvertFloating(cursor, token, out);
}

bool ParseIntegerElement(Cursor* cursor, int32_t* out) {
  NumberToken token;
  if (!ScanNumber(cursor, &token)) return false;
  if (token.is_floating || token.has_l_suffix) {
    return cursor->Fail(token.start, "an element of an i32 list is a plain integer");
  }
  return ConvertInteger(cursor, token, out, "int32");
}

bool ParseIntegerElement(Cursor* cursor, int64_t* out) {
  NumberToken token;
  if (!ScanNumber(cursor, &token)) return false;
  if (token.is_floating) {
    return cursor->Fail(token.start, "an element of an i64 list is an integer");
  }
  return ConvertInteger(cursor, token, out, "int64");
}

// The elements between the brackets of a typed list, separated by commas.
template <class Element, class ParseElement>
bool ParseTypedElements(Cursor* cursor, std::vector<Element>* out, ParseElement parse) {
  if (!cursor->Expect('[', "[")) return false;
  if (cursor->Accept(']')) return true;
  do {
    cursor->SkipSpace();
    Element element;
    if (!parse(cursor, &element)) return false;
    out->push_back(element);
  } while (cursor->Accept(','));
  return cursor->Expect(']', ", or ]");
}

bool ParseByteElements(Cursor* cursor, std::vector<uint8_t>* out) {
  if (!cursor->Expect('[', "[")) return false;
  for (;;) {
    cursor->SkipSpace();
    if (cursor->Peek() == ']') {
      cursor->Advance();
      return true;
    }
    const int high = HexValue(cursor->Peek());
    const int low = HexValue(cursor->PeekAt(1));
    if (high < 0 || low < 0) {
      return cursor->Fail(cursor->position() + (high < 0 ? 0 : 1),
                          "expected a byte as two hexadecimal digits, or ]");
    }
    out->push_back(static_cast<uint8_t>(high * 16 + low));
    cursor->Advance(2);
  }
}

bool ParseNumberValue(Cursor* cursor, flutter::EncodableValue* out) {
  if (IsSpecialFloatStart(*cursor)) {
    double value;
    bool matched;
    if (!ScanSpecialFloat<double, uint64_t>(cursor, &value, &matched)) return false;
    *out = flutter::EncodableValue(value);
    return true;
  }
  NumberToken token;
  if (!ScanNumber(cursor, &token)) return false;
  if (token.is_floating) {
    double value;
    if (!ConvertFloating(cursor, token, &value)) return false;
    *out = flutter::EncodableValue(value);
  } else if (token.has_l_suffix) {
    int64_t value;
    if (!ConvertInteger(cursor, token, &value, "int64")) return false;
    *out = flutter::EncodableValue(value);
  } else {
    int32_t value;
    if (!ConvertInteger(cursor, token, &value, "int32")) return false;
    *out = flutter::EncodableValue(value);
  }
  return true;
}

bool ParseWordValue(Cursor* cursor, flutter::EncodableValue* out) {
  const size_t start = cursor->position();
  if (IsSpecialFloatStart(*cursor)) {
    const std::string_view word = cursor->text().substr(start, 3);
    if (word == "nan" || word == "inf") return ParseNumberValue(cursor, out);
  }
  const std::string_view word = cursor->TakeWord();
  if (word == "null") {
    *out = flutter::EncodableValue();
  } else if (word == "true" || word == "false") {
    *out = flutter::EncodableValue(word == "true");
  } else if (word == "bytes") {
    std::vector<uint8_t> list;
    if (!ParseByteElements(cursor, &list)) return false;
    *out = flutter::EncodableValue(std::move(list));
  } else if (word == "i32") {
    std::vector<int32_t> list;
    if (!ParseTypedElements(cursor, &list,
                            [](Cursor* c, int32_t* e) { return ParseIntegerElement(c, e); })) {
      return false;
    }
    *out = flutter::EncodableValue(std::move(list));
  } else if (word == "i64") {
    std::vector<int64_t> list;
    if (!ParseTypedElements(cursor, &list,
                            [](Cursor* c, int64_t* e) { return ParseIntegerElement(c, e); })) {
      return false;
    }
    *out = flutter::EncodableValue(std::move(list));
  } else if (word == "f64") {
    std::vector<double> list;
    if (!ParseTypedElements(cursor, &list, ParseFloatElement<double, uint64_t>)) return false;
    *out = flutter::EncodableValue(std::move(list));
  } else if (word == "f32") {
    std::vector<float> list;
    if (!ParseTypedElements(cursor, &list, ParseFloatElement<float, uint32_t>)) return false;
    *out = flutter::EncodableValue(std::move(list));
  } else if (word == "custom") {
    return cursor->Fail(start, "a custom value cannot be written in the notation");
  } else {
    return cursor->Fail(start, "unknown word '" + std::string(word) + "'");
  }
  return true;
}

bool ParseList(Cursor* cursor, flutter::EncodableValue* out, int depth) {
  cursor->Advance();  // [
  flutter::EncodableValueList list;
  if (!cursor->Accept(']')) {
    do {
      flutter::EncodableValue element;
      if (!ParseValueAt(cursor, &element, depth + 1)) return false;
      list.Append(std::move(element));
    } while (cursor->Accept(','));
    if (!cursor->Expect(']', ", or ]")) return false;
  }
  *out = flutter::EncodableValue(std::move(list));
  return true;
}

bool ParseMap(Cursor* cursor, flutter::EncodableValue* out, int depth) {
  cursor->Advance();  // {
  flutter::EncodableValueMap map;
  if (!cursor->Accept('}')) {
    do {
      cursor->SkipSpace();
      const size_t key_position = cursor->position();
      flutter::EncodableValue key;
      if (!ParseValueAt(cursor, &key, depth + 1)) return false;
      if (!cursor->Expect(':', ":")) return false;
      flutter::EncodableValue value;
      if (!ParseValueAt(cursor, &value, depth + 1)) return false;
      // A repeated key is almost certainly a mistake in hand-written text;
      // the wire decoder would silently keep the first one.
      if (!map.InsertIfAbsent(std::move(key), std::move(value))) {
        return cursor->Fail(key_position, "duplicate map key");
      }
    } while (cursor->Accept(','));
    if (!cursor->Expect('}', ", or }")) return false;
  }
  *out = flutter::EncodableValue(std::move(map));
  return true;
}

}  // namespace

bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '_';
}

void Cursor::SkipSpace() {
  while (!AtEnd()) {
    const char c = text_[pos_];
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return;
    ++pos_;
  }
}

bool Cursor::Accept(char c) {
  SkipSpace();
  if (Peek() != c || AtEnd()) return false;
  ++pos_;
  return true;
}

bool Cursor::Expect(char c, const char* what) {
  if (Accept(c)) return true;
  return Fail(pos_, AtEnd() ? std::string("expected ") + what + " before the end"
                            : std::string("expected ") + what);
}

std::string_view Cursor::TakeWord() {
  const size_t start = pos_;
  while (!AtEnd() && IsWordChar(text_[pos_])) ++pos_;
  return text_.substr(start, pos_ - start);
}

bool Cursor::ExpectEnd() {
  SkipSpace();
  if (AtEnd()) return true;
  return Fail(pos_, "unexpected text after the end");
}

bool Cursor::Fail(size_t position, std::string message) {
  if (!failed_) {
    failed_ = true;
    error_.position = position;
    error_.message = std::move(message);
  }
  return false;
}

bool ParseQuotedAt(Cursor* cursor, std::string* out) {
  const size_t open = cursor->position();
  cursor->Advance();  // "
  std::string bytes;
  for (;;) {
    if (cursor->AtEnd()) return cursor->Fail(open, "string is not closed");
    const char c = cursor->Peek();
    if (c == '"') {
      cursor->Advance();
      *out = std::move(bytes);
      return true;
    }
    if (static_cast<uint8_t>(c) < 0x20 || c == 0x7F) {
      return cursor->Fail(cursor->position(),
                          "control character in a string; write it as an escape such as \\x0A");
    }
    if (c != '\\') {
      bytes += c;
      cursor->Advance();
      continue;
    }
    const size_t escape = cursor->position();
    cursor->Advance();
    switch (cursor->Peek()) {
      case '"':
      case '\\':
        bytes += cursor->Peek();
        cursor->Advance();
        break;
      case 'n':
        bytes += '\n';
        cursor->Advance();
        break;
      case 'r':
        bytes += '\r';
        cursor->Advance();
        break;
      case 't':
        bytes += '\t';
        cursor->Advance();
        break;
      case 'x': {
        const int high = HexValue(cursor->PeekAt(1));
        const int low = HexValue(cursor->PeekAt(2));
        if (high < 0 || low < 0) {
          return cursor->Fail(escape, "\\x takes exactly two hexadecimal digits");
        }
        bytes += static_cast<char>(high * 16 + low);
        cursor->Advance(3);
        break;
      }
      case 'u': {
        // \u{1F600}: a code point written as UTF-8, for text that a console
        // cannot type.
        if (cursor->PeekAt(1) != '{') return cursor->Fail(escape, "\\u takes {hex digits}");
        cursor->Advance(2);
        uint32_t code = 0;
        int digits = 0;
        while (HexValue(cursor->Peek()) >= 0 && digits < 6) {
          code = code * 16 + static_cast<uint32_t>(HexValue(cursor->Peek()));
          ++digits;
          cursor->Advance();
        }
        if (digits == 0 || cursor->Peek() != '}' || code > 0x10FFFF ||
            (code >= 0xD800 && code <= 0xDFFF)) {
          return cursor->Fail(escape, "\\u{...} takes a Unicode code point in hexadecimal");
        }
        cursor->Advance();
        AppendUtf8(&bytes, code);
        break;
      }
      default:
        return cursor->Fail(escape, "unknown escape; use \\\" \\\\ \\n \\r \\t \\xHH or \\u{H}");
    }
  }
}

bool ParseValueAt(Cursor* cursor, flutter::EncodableValue* out, int depth) {
  cursor->SkipSpace();
  if (depth >= kMaxNestingDepth) {
    return cursor->Fail(cursor->position(), "lists and maps nested deeper than " +
                                                std::to_string(kMaxNestingDepth) + " levels");
  }
  const char c = cursor->Peek();
  if (cursor->AtEnd()) return cursor->Fail(cursor->position(), "expected a value before the end");
  if (c == '"') {
    std::string text;
    if (!ParseQuotedAt(cursor, &text)) return false;
    *out = flutter::EncodableValue(std::move(text));
    return true;
  }
  if (c == '[') return ParseList(cursor, out, depth);
  if (c == '{') return ParseMap(cursor, out, depth);
  if (c == '-' || IsDigit(c)) return ParseNumberValue(cursor, out);
  if (IsWordChar(c)) return ParseWordValue(cursor, out);
  return cursor->Fail(cursor->position(), "expected a value");
}

}  // namespace internal

bool ParseValue(std::string_view text, flutter::EncodableValue* out, ParseError* error) {
  internal::Cursor cursor(text);
  flutter::EncodableValue value;
  if (!internal::ParseValueAt(&cursor, &value, 0) || !cursor.ExpectEnd()) {
    *error = cursor.error();
    return false;
  }
  *out = std::move(value);
  return true;
}

}  // namespace tovan::notation
