// Writes channel values in the typed notation, exactly: doubles in their
// shortest form that reads back to the same bits, strings byte for byte.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "devkit/notation/channel_notation.h"
#include "devkit/notation/notation_text.h"

namespace tovan::notation {
namespace internal {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The quiet NaNs that arithmetic produces print as nan and -nan; any other
// NaN keeps its payload, written as its bit pattern.
constexpr uint64_t kDoubleQuietNan = 0x7FF8000000000000ULL;
constexpr uint64_t kDoubleSignBit = 0x8000000000000000ULL;
constexpr uint32_t kFloatQuietNan = 0x7FC00000U;
constexpr uint32_t kFloatSignBit = 0x80000000U;

template <class Bits>
void AppendNan(std::string* out, Bits bits, Bits quiet, Bits sign, int digits) {
  if (bits == quiet) {
    *out += "nan";
  } else if (bits == (quiet | sign)) {
    *out += "-nan";
  } else {
    *out += "nan(0x";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
      *out += kHexDigits[(bits >> shift) & 0xF];
    }
    *out += ')';
  }
}

// Shortest round-trip digits; a number without a point or an exponent gets
// ".0" so that it never reads as an integer.
template <class Float>
void AppendFinite(std::string* out, Float value) {
  char buffer[64];
  const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  const std::string_view digits(buffer, static_cast<size_t>(result.ptr - buffer));
  *out += digits;
  if (digits.find_first_of(".e") == std::string_view::npos) *out += ".0";
}

void AppendByte(std::string* out, uint8_t byte) {
  *out += kHexDigits[byte >> 4];
  *out += kHexDigits[byte & 0xF];
}

// The length of the well-formed UTF-8 sequence at bytes[i] that encodes a
// printable character (U+00A0 and up), or 0.
size_t PrintableUtf8Length(std::string_view bytes, size_t i) {
  const auto at = [&](size_t k) { return static_cast<uint8_t>(bytes[k]); };
  const uint8_t lead = at(i);
  size_t length;
  uint32_t code;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > bytes.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((at(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (at(i + k) & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  if (overlong || surrogate || code > 0x10FFFF || code < 0xA0) return 0;
  return length;
}

template <class Element, class AppendElement>
void AppendTypedList(std::string* out, const char* prefix, const std::vector<Element>& list,
                     AppendElement append) {
  *out += prefix;
  *out += '[';
  for (size_t i = 0; i < list.size(); ++i) {
    if (i != 0) *out += ", ";
    append(out, list[i]);
  }
  *out += ']';
}

}  // namespace

void AppendDouble(std::string* out, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  if (std::isnan(value)) {
    AppendNan<uint64_t>(out, bits, kDoubleQuietNan, kDoubleSignBit, 16);
  } else if (std::isinf(value)) {
    *out += value < 0 ? "-inf" : "inf";
  } else {
    AppendFinite(out, value);
  }
}

void AppendFloat(std::string* out, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  if (std::isnan(value)) {
    AppendNan<uint32_t>(out, bits, kFloatQuietNan, kFloatSignBit, 8);
  } else if (std::isinf(value)) {
    *out += value < 0 ? "-inf" : "inf";
  } else {
    AppendFinite(out, value);
  }
}

void AppendQuoted(std::string* out, std::string_view bytes) {
  *out += '"';
  size_t i = 0;
  while (i < bytes.size()) {
    const uint8_t byte = static_cast<uint8_t>(bytes[i]);
    switch (byte) {
      case '"':
        *out += "\\\"";
        break;
      case '\\':
        *out += "\\\\";
        break;
      case '\n':
        *out += "\\n";
        break;
      case '\r':
        *out += "\\r";
        break;
      case '\t':
        *out += "\\t";
        break;
      default:
        if (byte >= 0x20 && byte < 0x7F) {
          *out += static_cast<char>(byte);
        } else if (const size_t length = byte >= 0x80 ? PrintableUtf8Length(bytes, i) : 0) {
          // Readable text stays readable; control characters, stray or
          // invalid bytes are escaped so that every byte survives the trip.
          out->append(bytes.substr(i, length));
          i += length;
          continue;
        } else {
          *out += "\\x";
          AppendByte(out, byte);
        }
    }
    ++i;
  }
  *out += '"';
}

bool IsBareName(std::string_view name) {
  if (name.empty()) return false;
  const char first = name[0];
  if (!((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z') || first == '_')) {
    return false;
  }
  for (const char c : name) {
    if (!IsWordChar(c) && c != '.') return false;
  }
  return true;
}

void AppendValue(std::string* out, const flutter::EncodableValue& value) {
  using flutter::EncodableValue;
  switch (value.Index()) {
    case EncodableValue::kNull:
      *out += "null";
      return;
    case EncodableValue::kBool:
      *out += *value.TryGet<bool>() ? "true" : "false";
      return;
    case EncodableValue::kInt32:
      *out += std::to_string(*value.TryGet<int32_t>());
      return;
    case EncodableValue::kInt64:
      *out += std::to_string(*value.TryGet<int64_t>());
      *out += 'L';
      return;
    case EncodableValue::kDouble:
      AppendDouble(out, *value.TryGet<double>());
      return;
    case EncodableValue::kString:
      AppendQuoted(out, *value.TryGet<std::string>());
      return;
    case EncodableValue::kByteList: {
      const std::vector<uint8_t>& bytes = *value.TryGet<std::vector<uint8_t>>();
      *out += "bytes[";
      for (size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) *out += ' ';
        AppendByte(out, bytes[i]);
      }
      *out += ']';
      return;
    }
    case EncodableValue::kInt32List:
      AppendTypedList(out, "i32", *value.TryGet<std::vector<int32_t>>(),
                      [](std::string* o, int32_t v) { *o += std::to_string(v); });
      return;
    case EncodableValue::kInt64List:
      AppendTypedList(out, "i64", *value.TryGet<std::vector<int64_t>>(),
                      [](std::string* o, int64_t v) { *o += std::to_string(v); });
      return;
    case EncodableValue::kDoubleList:
      AppendTypedList(out, "f64", *value.TryGet<std::vector<double>>(), AppendDouble);
      return;
    case EncodableValue::kFloatList:
      AppendTypedList(out, "f32", *value.TryGet<std::vector<float>>(), AppendFloat);
      return;
    case EncodableValue::kList: {
      const flutter::EncodableValueList& list = *value.TryGet<flutter::EncodableValueList>();
      *out += '[';
      bool first = true;
      for (const EncodableValue& element : list) {
        if (!first) *out += ", ";
        first = false;
        AppendValue(out, element);
      }
      *out += ']';
      return;
    }
    case EncodableValue::kMap: {
      const flutter::EncodableValueMap& map = *value.TryGet<flutter::EncodableValueMap>();
      *out += '{';
      bool first = true;
      for (const auto& [key, entry] : map) {
        if (!first) *out += ", ";
        first = false;
        AppendValue(out, key);
        *out += ": ";
        AppendValue(out, entry);
      }
      *out += '}';
      return;
    }
    default:
      *out += "custom";
      return;
  }
}

}  // namespace internal

std::string PrintValue(const flutter::EncodableValue& value) {
  std::string text;
  internal::AppendValue(&text, value);
  return text;
}

}  // namespace tovan::notation
