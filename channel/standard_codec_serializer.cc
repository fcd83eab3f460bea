#include "channel/standard_codec_serializer.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace flutter {

// Bounded decoding
// ----------------
// A size prefix may announce up to 2^32 - 1 elements or bytes, and a message
// may nest lists at every byte. Decoding a message of n bytes nevertheless
// takes O(n) time and memory (plus O(log n) key comparisons per map entry
// for the map's ordering), by these rules:
//
// 1. Every element that the message actually contains begins with a tag
//    byte that the reader consumes, so all contained elements together
//    number at most n, and blocks (strings, byte lists, typed lists) that
//    are copied consume their bytes. What a truncated message lacks is
//    "missing": elements read after the bytes have run out, and blocks
//    longer than the bytes left. They appear as nulls and zero-filled blocks
//    with an "Invalid read" line each, exactly as the plain format rules say.
// 2. Each message may lack up to kMissingAllowance elements, and up to its
//    own length plus kMissingAllowance bytes of blocks (a missing block is
//    zero-filled in full, since a block is copied whole or not at all).
//    Truncated messages within these allowances decode as the plain rules
//    say: "0C 02" is a list of two nulls; "07 05 61" is five NUL bytes.
//    Well-formed messages never draw on them.
// 3. A message that lacks more announces more than it can hold: decoding
//    gives up on the rest of the message. One line says so; every list and
//    map still open ends with the elements read so far (a map drops a key
//    whose value it did not read), a block that did not fit is empty, and
//    every later read of the message yields null without touching the
//    reader.
// 4. List reservations come from one budget for the whole message (its
//    length), so nested lists cannot each reserve for an announced count.
//    In a well-formed message the element counts of all lists add up to at
//    most its length, so every list there reserves its full count.
// 5. Lists and maps nest at most kMaxNestingDepth deep. The container that
//    would go deeper reads as null and decoding gives up as in rule 3. Every
//    operation on a decoded value (copying, comparing, encoding, destroying)
//    recurses once per level, and this bound keeps all of them shallow.

namespace {

constexpr uint8_t kNullTag = 0;
constexpr uint8_t kTrueTag = 1;
constexpr uint8_t kFalseTag = 2;
constexpr uint8_t kInt32Tag = 3;
constexpr uint8_t kInt64Tag = 4;
constexpr uint8_t kLegacyStringTag = 5;
constexpr uint8_t kDoubleTag = 6;
constexpr uint8_t kStringTag = 7;
constexpr uint8_t kByteListTag = 8;
constexpr uint8_t kInt32ListTag = 9;
constexpr uint8_t kInt64ListTag = 10;
constexpr uint8_t kDoubleListTag = 11;
constexpr uint8_t kListTag = 12;
constexpr uint8_t kMapTag = 13;
constexpr uint8_t kFloatListTag = 14;

constexpr const char* kTooDeep =
    "Message nested too deeply in StandardCodecSerializer::ReadValueOfType; "
    "ignoring the rest of the message.";
constexpr const char* kAnnouncesTooMuch =
    "Message announces more than it holds in StandardCodecSerializer::ReadValueOfType; "
    "ignoring the rest of the message.";

constexpr size_t kUnknownSizeReservation = 4096;

size_t SaturatingAdd(size_t a, size_t b) {
  return a > ByteStreamReader::kUnknownRemaining - b ? ByteStreamReader::kUnknownRemaining : a + b;
}

// Sets up the limits of a message at its first read.
MessageDecodeState& BeginDecoding(ByteStreamReader* stream) {
  MessageDecodeState& state = stream->DecodeState();
  if (!state.started) {
    state.started = true;
    const size_t remaining = stream->RemainingBytes();
    state.missing_elements_allowed = StandardCodecSerializer::kMissingAllowance;
    state.missing_bytes_allowed =
        SaturatingAdd(remaining, StandardCodecSerializer::kMissingAllowance);
    // A reader that cannot tell its size still gets reservations, up to a
    // size that costs little when the message turns out shorter.
    state.reservable_elements =
        remaining == ByteStreamReader::kUnknownRemaining ? kUnknownSizeReservation : remaining;
  }
  return state;
}

void GiveUp(MessageDecodeState& state, const char* reason) {
  if (!state.abandoned) {
    state.abandoned = true;
    std::cerr << reason << std::endl;
  }
}

// Answers whether the next element of a list or map may be read (rules 1-3).
bool MayReadElement(ByteStreamReader* stream, MessageDecodeState& state) {
  if (state.abandoned) {
    return false;
  }
  if (stream->RemainingBytes() != 0) {
    return true;
  }
  if (state.missing_elements_allowed == 0) {
    GiveUp(state, kAnnouncesTooMuch);
    return false;
  }
  --state.missing_elements_allowed;
  return true;
}

// Answers whether a block of `size` bytes may be allocated (rules 1-3).
bool MayAllocateBlock(ByteStreamReader* stream, MessageDecodeState& state, uint64_t size) {
  if (state.abandoned) {
    return false;
  }
  const size_t remaining = stream->RemainingBytes();
  if (remaining == ByteStreamReader::kUnknownRemaining || size <= remaining) {
    return true;
  }
  if (size > state.missing_bytes_allowed) {
    GiveUp(state, kAnnouncesTooMuch);
    return false;
  }
  state.missing_bytes_allowed -= static_cast<size_t>(size);
  return true;
}

// Tracks one open list or map (rule 5).
class NestingScope {
 public:
  explicit NestingScope(MessageDecodeState& state) : state_(state) { ++state_.depth; }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;
  ~NestingScope() { --state_.depth; }

 private:
  MessageDecodeState& state_;
};

template <typename T>
void PutScalar(T value, ByteStreamWriter* stream) {
  // The hosts of this channel (x86-64, ARM64) are little-endian like the
  // format, so a value's memory is its encoding.
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  stream->PutBytes(bytes, sizeof(T));
}

template <typename T>
T TakeScalar(ByteStreamReader* stream) {
  uint8_t bytes[sizeof(T)] = {};
  stream->TakeBytes(bytes, sizeof(T));
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

}  // namespace

StandardCodecSerializer::StandardCodecSerializer() = default;

StandardCodecSerializer::~StandardCodecSerializer() = default;

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

EncodableValue StandardCodecSerializer::ReadTaggedValue(ByteStreamReader* stream) const {
  if (BeginDecoding(stream).abandoned) {
    return EncodableValue();
  }
  const uint8_t type = stream->TakeByte();
  return ReadValueOfType(type, stream);
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  MessageDecodeState& state = BeginDecoding(stream);
  switch (type) {
    case kNullTag:
      return EncodableValue();
    case kTrueTag:
      return EncodableValue(true);
    case kFalseTag:
      return EncodableValue(false);
    case kInt32Tag:
      return EncodableValue(TakeScalar<int32_t>(stream));
    case kInt64Tag:
      return EncodableValue(TakeScalar<int64_t>(stream));
    case kDoubleTag:
      stream->SkipToAlignment(8);
      return EncodableValue(TakeScalar<double>(stream));
    case kLegacyStringTag:
    case kStringTag: {
      const size_t size = ReadSizePrefix(stream);
      if (!MayAllocateBlock(stream, state, size)) {
        return EncodableValue(std::string());
      }
      std::string text(size, '\0');
      stream->TakeBytes(reinterpret_cast<uint8_t*>(text.data()), size);
      return EncodableValue(std::move(text));
    }
    case kByteListTag: {
      const size_t size = ReadSizePrefix(stream);
      if (!MayAllocateBlock(stream, state, size)) {
        return EncodableValue(std::vector<uint8_t>());
      }
      std::vector<uint8_t> bytes(size);
      stream->TakeBytes(bytes.data(), size);
      return EncodableValue(std::move(bytes));
    }
    case kInt32ListTag:
      return ReadTypedList<int32_t>(stream);
    case kInt64ListTag:
      return ReadTypedList<int64_t>(stream);
    case kDoubleListTag:
      return ReadTypedList<double>(stream);
    case kFloatListTag:
      return ReadTypedList<float>(stream);
    case kListTag: {
      if (state.depth >= kMaxNestingDepth) {
        GiveUp(state, kTooDeep);
        return EncodableValue();
      }
      NestingScope scope(state);
      const size_t count = ReadSizePrefix(stream);
      EncodableValueList list;
      const size_t reserved = std::min(count, state.reservable_elements);
      state.reservable_elements -= reserved;
      list.Reserve(reserved);
      for (size_t i = 0; i < count && MayReadElement(stream, state); ++i) {
        list.Append(ReadTaggedValue(stream));
      }
      return EncodableValue(std::move(list));
    }
    case kMapTag: {
      if (state.depth >= kMaxNestingDepth) {
        GiveUp(state, kTooDeep);
        return EncodableValue();
      }
      NestingScope scope(state);
      const size_t count = ReadSizePrefix(stream);
      EncodableValueMap map;
      for (size_t i = 0; i < count && MayReadElement(stream, state); ++i) {
        EncodableValue key = ReadTaggedValue(stream);
        // A key without its value (decoding gave up in between) is dropped.
        if (!MayReadElement(stream, state)) {
          break;
        }
        EncodableValue value = ReadTaggedValue(stream);
        map.InsertIfAbsent(std::move(key), std::move(value));
      }
      return EncodableValue(std::move(map));
    }
    default:
      std::cerr << "Unknown type in StandardCodecSerializer::ReadValueOfType: "
                << static_cast<unsigned>(type) << std::endl;
      return EncodableValue();
  }
}

size_t StandardCodecSerializer::ReadSizePrefix(ByteStreamReader* stream) const {
  const uint8_t first = stream->TakeByte();
  if (first < 254) {
    return first;
  }
  if (first == 254) {
    return TakeScalar<uint16_t>(stream);
  }
  return TakeScalar<uint32_t>(stream);
}

template <typename T>
EncodableValue StandardCodecSerializer::ReadTypedList(ByteStreamReader* stream) const {
  MessageDecodeState& state = BeginDecoding(stream);
  const size_t count = ReadSizePrefix(stream);
  // Aligned also for an empty list, which the writer leaves unpadded.
  stream->SkipToAlignment(sizeof(T));
  if (!MayAllocateBlock(stream, state, static_cast<uint64_t>(count) * sizeof(T))) {
    return EncodableValue(std::vector<T>());
  }
  std::vector<T> list(count);
  stream->TakeBytes(reinterpret_cast<uint8_t*>(list.data()), count * sizeof(T));
  return EncodableValue(std::move(list));
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  switch (value.Index()) {
    case EncodableValue::kNull:
      stream->PutByte(kNullTag);
      return;
    case EncodableValue::kBool:
      stream->PutByte(*value.TryGet<bool>() ? kTrueTag : kFalseTag);
      return;
    case EncodableValue::kInt32:
      stream->PutByte(kInt32Tag);
      PutScalar(*value.TryGet<int32_t>(), stream);
      return;
    case EncodableValue::kInt64:
      stream->PutByte(kInt64Tag);
      PutScalar(*value.TryGet<int64_t>(), stream);
      return;
    case EncodableValue::kDouble:
      stream->PutByte(kDoubleTag);
      stream->PadToAlignment(8);
      PutScalar(*value.TryGet<double>(), stream);
      return;
    case EncodableValue::kString: {
      const std::string& text = *value.TryGet<std::string>();
      stream->PutByte(kStringTag);
      WriteSizePrefix(text.size(), stream);
      if (!text.empty()) {
        stream->PutBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
      }
      return;
    }
    case EncodableValue::kByteList: {
      const std::vector<uint8_t>& bytes = *value.TryGet<std::vector<uint8_t>>();
      stream->PutByte(kByteListTag);
      WriteSizePrefix(bytes.size(), stream);
      if (!bytes.empty()) {
        stream->PutBytes(bytes.data(), bytes.size());
      }
      return;
    }
    case EncodableValue::kInt32List:
      stream->PutByte(kInt32ListTag);
      WriteTypedList(*value.TryGet<std::vector<int32_t>>(), stream);
      return;
    case EncodableValue::kInt64List:
      stream->PutByte(kInt64ListTag);
      WriteTypedList(*value.TryGet<std::vector<int64_t>>(), stream);
      return;
    case EncodableValue::kDoubleList:
      stream->PutByte(kDoubleListTag);
      WriteTypedList(*value.TryGet<std::vector<double>>(), stream);
      return;
    case EncodableValue::kList: {
      const EncodableValueList& list = *value.TryGet<EncodableValueList>();
      stream->PutByte(kListTag);
      WriteSizePrefix(list.size(), stream);
      for (const EncodableValue& element : list) {
        WriteValue(element, stream);
      }
      return;
    }
    case EncodableValue::kMap: {
      const EncodableValueMap& map = *value.TryGet<EncodableValueMap>();
      stream->PutByte(kMapTag);
      WriteSizePrefix(map.size(), stream);
      for (const auto& entry : map) {
        WriteValue(entry.first, stream);
        WriteValue(entry.second, stream);
      }
      return;
    }
    case EncodableValue::kCustom:
      // Only a derived serializer knows how to encode custom values; the
      // value arrives on the other side as a null.
      stream->PutByte(kNullTag);
      std::cerr << "Unhandled custom type in StandardCodecSerializer::WriteValue. "
                << "Custom types require codec extensions." << std::endl;
      return;
    case EncodableValue::kFloatList:
      stream->PutByte(kFloatListTag);
      WriteTypedList(*value.TryGet<std::vector<float>>(), stream);
      return;
    default:
      return;
  }
}

void StandardCodecSerializer::WriteSizePrefix(size_t size, ByteStreamWriter* stream) const {
  if (size < 254) {
    stream->PutByte(static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    stream->PutByte(254);
    PutScalar(static_cast<uint16_t>(size), stream);
  } else {
    // The format has no room for sizes of 2^32 and more; nothing on these
    // channels comes near them.
    stream->PutByte(255);
    PutScalar(static_cast<uint32_t>(size), stream);
  }
}

template <typename T>
void StandardCodecSerializer::WriteTypedList(const std::vector<T>& list,
                                             ByteStreamWriter* stream) const {
  WriteSizePrefix(list.size(), stream);
  if (list.empty()) {
    return;
  }
  stream->PadToAlignment(sizeof(T));
  stream->PutBytes(reinterpret_cast<const uint8_t*>(list.data()), list.size() * sizeof(T));
}

template EncodableValue StandardCodecSerializer::ReadTypedList<int32_t>(ByteStreamReader*) const;
template EncodableValue StandardCodecSerializer::ReadTypedList<int64_t>(ByteStreamReader*) const;
template EncodableValue StandardCodecSerializer::ReadTypedList<double>(ByteStreamReader*) const;
template EncodableValue StandardCodecSerializer::ReadTypedList<float>(ByteStreamReader*) const;
template void StandardCodecSerializer::WriteTypedList<int32_t>(const std::vector<int32_t>&,
                                                               ByteStreamWriter*) const;
template void StandardCodecSerializer::WriteTypedList<int64_t>(const std::vector<int64_t>&,
                                                               ByteStreamWriter*) const;
template void StandardCodecSerializer::WriteTypedList<double>(const std::vector<double>&,
                                                              ByteStreamWriter*) const;
template void StandardCodecSerializer::WriteTypedList<float>(const std::vector<float>&,
                                                             ByteStreamWriter*) const;

}  // namespace flutter
