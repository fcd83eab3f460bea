#include "fuzz/fuzz_support.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "channel/byte_buffer_streams.h"
#include "channel/standard_codec_serializer.h"
#include "devkit/notation/channel_notation.h"

namespace tovan::fuzz {
namespace {

bool ContainsNan(const flutter::EncodableValue& value) {
  using flutter::EncodableValue;
  switch (value.Index()) {
    case EncodableValue::kDouble:
      return std::isnan(*value.TryGet<double>());
    case EncodableValue::kDoubleList:
      for (double element : *value.TryGet<std::vector<double>>()) {
        if (std::isnan(element)) return true;
      }
      return false;
    case EncodableValue::kFloatList:
      for (float element : *value.TryGet<std::vector<float>>()) {
        if (std::isnan(element)) return true;
      }
      return false;
    case EncodableValue::kList:
      for (const EncodableValue& element : *value.TryGet<flutter::EncodableValueList>()) {
        if (ContainsNan(element)) return true;
      }
      return false;
    case EncodableValue::kMap:
      for (const auto& [key, entry] : *value.TryGet<flutter::EncodableValueMap>()) {
        if (ContainsNan(key) || ContainsNan(entry)) return true;
      }
      return false;
    default:
      return false;
  }
}

template <class T>
bool IsEmpty(const flutter::EncodableValue& value) {
  return value.TryGet<std::vector<T>>()->empty();
}

}  // namespace

void SilenceChannelDiagnostics() { std::cerr.rdbuf(nullptr); }

std::vector<uint8_t> EncodeValue(const flutter::EncodableValue& value) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  flutter::StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

flutter::EncodableValue DecodeValue(const std::vector<uint8_t>& bytes) {
  flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
  return flutter::StandardCodecSerializer::GetInstance().ReadTaggedValue(&reader);
}

bool MapKeyHoldsNan(const flutter::EncodableValue& value) {
  using flutter::EncodableValue;
  if (const auto* list = value.TryGet<flutter::EncodableValueList>()) {
    for (const EncodableValue& element : *list) {
      if (MapKeyHoldsNan(element)) return true;
    }
  } else if (const auto* map = value.TryGet<flutter::EncodableValueMap>()) {
    for (const auto& [key, entry] : *map) {
      if (ContainsNan(key) || MapKeyHoldsNan(key) || MapKeyHoldsNan(entry)) return true;
    }
  }
  return false;
}

bool FormatCannotRoundTrip(const flutter::EncodableValue& value) {
  if (MapKeyHoldsNan(value)) return true;
  using flutter::EncodableValue;
  switch (value.Index()) {
    case EncodableValue::kInt32List:
      return IsEmpty<int32_t>(value);
    case EncodableValue::kInt64List:
      return IsEmpty<int64_t>(value);
    case EncodableValue::kDoubleList:
      return IsEmpty<double>(value);
    case EncodableValue::kFloatList:
      return IsEmpty<float>(value);
    case EncodableValue::kList:
      for (const EncodableValue& element : *value.TryGet<flutter::EncodableValueList>()) {
        if (FormatCannotRoundTrip(element)) return true;
      }
      return false;
    case EncodableValue::kMap:
      for (const auto& [key, entry] : *value.TryGet<flutter::EncodableValueMap>()) {
        if (FormatCannotRoundTrip(key) || FormatCannotRoundTrip(entry)) {
          return true;
        }
      }
      return false;
    default:
      return false;
  }
}

void CheckSameValue(const flutter::EncodableValue& original, const flutter::EncodableValue& again,
                    const char* what) {
  if (original == again && EncodeValue(original) == EncodeValue(again)) return;
  std::fprintf(stderr, "%s changed the value\n  before: %s\n  after:  %s\n", what,
               notation::PrintValue(original).c_str(), notation::PrintValue(again).c_str());
  std::abort();
}

}  // namespace tovan::fuzz
