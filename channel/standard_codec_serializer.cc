#include "channel/standard_codec_serializer.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "channel/byte_buffer_streams.h"

namespace flutter {

// Bounded decoding
// ----------------
// A size prefix may announce up to 2^32 - 1 elements or bytes, and a message
// may nest lists at every byte. Decoding a message of n bytes nevertheless
// takes O(n) time and memory (plus O(log n) key comparisons per map entry
// for the map's ordering: a map's entries are put in order once, by one
// stable sort, unless they arrive in order), by these rules:
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
// 4. List and map reservations come from one budget for the whole message
//    (its length), so nested containers cannot each reserve for an
//    announced count. In a well-formed message the element and entry counts
//    of all lists and maps add up to at most its length, so every one of
//    them there reserves its full count.
// 5. Lists and maps nest at most kMaxNestingDepth deep. The container that
//    would go deeper reads as null and decoding gives up as in rule 3. Every
//    operation on a decoded value (copying, comparing, encoding, destroying)
//    recurses once per level, and this bound keeps all of them shallow.

// One algorithm over the stream type
// ----------------------------------
// The byte streams are the codec's extension points. The decoder and encoder
// below are templates over the stream type: over ByteStreamReader and
// ByteStreamWriter they call the virtual operations for every byte (the
// general path); over the buffer streams, whose operations are final and
// inline, the same code reads and writes the buffer in place. The type is
// chosen once per value by the exact dynamic type, so that a class derived
// from a buffer stream keeps the general path. Every read that does not fit
// is the stream's own operation on both paths, so results, positions and
// diagnostics cannot differ. When the serializer is exactly this class,
// nested values are read and written here without going back through its
// overridable operations.

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
MessageDecodeState& BeginDecoding(ByteStreamReader& stream) {
  MessageDecodeState& state = stream.DecodeState();
  if (!state.started) {
    state.started = true;
    const size_t remaining = stream.RemainingBytes();
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
template <class Stream>
bool MayReadElement(const Stream& stream, MessageDecodeState& state) {
  if (state.abandoned) {
    return false;
  }
  if (stream.RemainingBytes() != 0) {
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
template <class Stream>
bool MayAllocateBlock(const Stream& stream, MessageDecodeState& state, uint64_t size) {
  if (state.abandoned) {
    return false;
  }
  const size_t remaining = stream.RemainingBytes();
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

// Room for `count` elements from the message's reservation budget (rule 4).
size_t Reservation(MessageDecodeState& state, size_t count) {
  const size_t reserved = std::min(count, state.reservable_elements);
  state.reservable_elements -= reserved;
  return reserved;
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

// The next `count` bytes in place, consumed, when the stream can lend them;
// nullptr otherwise (the caller then copies them with TakeBytes).
const uint8_t* LendBytes(ByteStreamReader&, size_t) { return nullptr; }
const uint8_t* LendBytes(ByteBufferStreamReader& stream, size_t count) {
  return stream.LendBytes(count);
}

// Reads elements of T from little-endian bytes, so that a typed list is
// built from lent bytes in one pass instead of being zero-filled and then
// overwritten. (The hosts are little-endian; see PutScalar.)
template <typename T>
class ElementIterator {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = T;
  using difference_type = std::ptrdiff_t;
  using pointer = const T*;
  using reference = T;

  explicit ElementIterator(const uint8_t* bytes) : bytes_(bytes) {}
  T operator*() const {
    T value;
    std::memcpy(&value, bytes_, sizeof(T));
    return value;
  }
  ElementIterator& operator++() {
    bytes_ += sizeof(T);
    return *this;
  }
  ElementIterator operator++(int) {
    ElementIterator before = *this;
    bytes_ += sizeof(T);
    return before;
  }
  bool operator==(const ElementIterator& other) const { return bytes_ == other.bytes_; }
  bool operator!=(const ElementIterator& other) const { return bytes_ != other.bytes_; }

 private:
  const uint8_t* bytes_;
};

template <typename T, class Stream>
T TakeScalar(Stream& stream) {
  uint8_t bytes[sizeof(T)] = {};
  stream.TakeBytes(bytes, sizeof(T));
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

template <class Stream>
size_t TakeSizePrefix(Stream& stream) {
  const uint8_t first = stream.TakeByte();
  if (first < 254) {
    return first;
  }
  if (first == 254) {
    return TakeScalar<uint16_t>(stream);
  }
  return TakeScalar<uint32_t>(stream);
}

// The decoder of one value whose tag has been read, over a stream type.
// `direct` (the serializer is exactly StandardCodecSerializer) lets nested
// values be read here instead of through the overridable ReadValueOfType,
// which would come back here anyway. Values are built where they end up: in
// their slot of the enclosing list or map.
template <class Stream>
class Decoder {
 public:
  Decoder(const StandardCodecSerializer& serializer, Stream& stream, bool direct)
      : serializer_(serializer), stream_(stream), state_(BeginDecoding(stream)), direct_(direct) {}

  // Reads a value of the given type into `out`, which holds null; a value
  // that reads as null leaves it so.
  void ReadInto(uint8_t type, EncodableValue& out) {
    switch (type) {
      case kNullTag:
        return;
      case kTrueTag:
      case kFalseTag:
        out = type == kTrueTag;
        return;
      case kInt32Tag:
        out = TakeScalar<int32_t>(stream_);
        return;
      case kInt64Tag:
        out = TakeScalar<int64_t>(stream_);
        return;
      case kDoubleTag:
        stream_.SkipToAlignment(8);
        out = TakeScalar<double>(stream_);
        return;
      case kLegacyStringTag:
      case kStringTag:
        ReadBlockInto<std::string>(out, TakeSizePrefix(stream_));
        return;
      case kByteListTag:
        ReadBlockInto<std::vector<uint8_t>>(out, TakeSizePrefix(stream_));
        return;
      case kInt32ListTag:
        ReadTypedListInto<int32_t>(out);
        return;
      case kInt64ListTag:
        ReadTypedListInto<int64_t>(out);
        return;
      case kDoubleListTag:
        ReadTypedListInto<double>(out);
        return;
      case kFloatListTag:
        ReadTypedListInto<float>(out);
        return;
      case kListTag: {
        if (!MayNest()) {
          return;
        }
        NestingScope scope(state_);
        const size_t count = TakeSizePrefix(stream_);
        EncodableValueList& list = out.Emplace<EncodableValueList>();
        list.Reserve(Reservation(state_, count));
        for (size_t i = 0; i < count && MayReadElement(stream_, state_); ++i) {
          ReadTaggedInto(list.EmplaceBack());
        }
        return;
      }
      case kMapTag: {
        if (!MayNest()) {
          return;
        }
        NestingScope scope(state_);
        const size_t count = TakeSizePrefix(stream_);
        EncodableValueMap& map = out.Emplace<EncodableValueMap>();
        map.Reserve(Reservation(state_, count));
        for (size_t i = 0; i < count && MayReadElement(stream_, state_); ++i) {
          EncodableValueMap::value_type& entry = map.EmplaceLast();
          ReadTaggedInto(entry.first);
          // A key without its value (decoding gave up in between) is dropped.
          if (!MayReadElement(stream_, state_)) {
            map.DropLast();
            break;
          }
          ReadTaggedInto(entry.second);
        }
        // The first of equivalent keys keeps its value.
        map.FinishEmplacing();
        return;
      }
      default:
        std::cerr << "Unknown type in StandardCodecSerializer::ReadValueOfType: "
                  << static_cast<unsigned>(type) << std::endl;
        return;
    }
  }

  template <typename T>
  void ReadTypedListInto(EncodableValue& out) {
    const size_t count = TakeSizePrefix(stream_);
    // Aligned also for an empty list, which the writer leaves unpadded.
    stream_.SkipToAlignment(sizeof(T));
    ReadBlockInto<std::vector<T>>(out, count);
  }

 private:
  // Reads the next tagged value into `out`, which holds null.
  void ReadTaggedInto(EncodableValue& out) {
    if (!direct_) {
      out = serializer_.ReadTaggedValue(&stream_);
    } else if (!state_.abandoned) {
      ReadInto(stream_.TakeByte(), out);
    }
  }

  bool MayNest() {
    if (state_.depth < StandardCodecSerializer::kMaxNestingDepth) {
      return true;
    }
    GiveUp(state_, kTooDeep);
    return false;
  }

  // Reads a block of `count` elements (a string, a byte list or a typed
  // list) into `out`: built from the lent bytes, or zero-filled and copied.
  template <class Block>
  void ReadBlockInto(EncodableValue& out, size_t count) {
    using Element = typename Block::value_type;
    const uint64_t size = static_cast<uint64_t>(count) * sizeof(Element);
    if (!MayAllocateBlock(stream_, state_, size)) {
      out.Emplace<Block>();
      return;
    }
    if (const uint8_t* bytes = LendBytes(stream_, static_cast<size_t>(size))) {
      if constexpr (sizeof(Element) == 1) {
        out.Emplace<Block>(reinterpret_cast<const Element*>(bytes),
                           reinterpret_cast<const Element*>(bytes) + count);
      } else {
        out.Emplace<Block>(ElementIterator<Element>(bytes), ElementIterator<Element>(bytes + size));
      }
      return;
    }
    Block& block = out.Emplace<Block>(count, Element());
    stream_.TakeBytes(reinterpret_cast<uint8_t*>(block.data()), static_cast<size_t>(size));
  }

  const StandardCodecSerializer& serializer_;
  Stream& stream_;
  MessageDecodeState& state_;
  bool direct_;
};

template <typename T, class Stream>
void PutScalar(T value, Stream& stream) {
  // The hosts of this channel (x86-64, ARM64) are little-endian like the
  // format, so a value's memory is its encoding.
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  stream.PutBytes(bytes, sizeof(T));
}

template <class Stream>
void PutSizePrefix(size_t size, Stream& stream) {
  if (size < 254) {
    stream.PutByte(static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    stream.PutByte(254);
    PutScalar(static_cast<uint16_t>(size), stream);
  } else {
    // The format has no room for sizes of 2^32 and more; nothing on these
    // channels comes near them.
    stream.PutByte(255);
    PutScalar(static_cast<uint32_t>(size), stream);
  }
}

// A string, byte list or typed list: its size, then (unless empty) its
// bytes as one block, aligned to the element for typed lists.
template <class Block, class Stream>
void PutBlock(const Block& block, Stream& stream, uint8_t alignment) {
  PutSizePrefix(block.size(), stream);
  if (block.empty()) {
    return;
  }
  if (alignment > 1) {
    stream.PadToAlignment(alignment);
  }
  stream.PutBytes(reinterpret_cast<const uint8_t*>(block.data()),
                  block.size() * sizeof(typename Block::value_type));
}

template <typename T, class Stream>
void PutTypedList(const std::vector<T>& list, Stream& stream) {
  PutBlock(list, stream, sizeof(T));
}

// The encoder over a stream type; `direct` as for Decoder.
template <class Stream>
class Encoder {
 public:
  Encoder(const StandardCodecSerializer& serializer, Stream& stream, bool direct)
      : serializer_(serializer), stream_(stream), direct_(direct) {}

  void Write(const EncodableValue& value) {
    switch (value.Index()) {
      case EncodableValue::kNull:
        stream_.PutByte(kNullTag);
        return;
      case EncodableValue::kBool:
        stream_.PutByte(*value.TryGet<bool>() ? kTrueTag : kFalseTag);
        return;
      case EncodableValue::kInt32:
        stream_.PutByte(kInt32Tag);
        PutScalar(*value.TryGet<int32_t>(), stream_);
        return;
      case EncodableValue::kInt64:
        stream_.PutByte(kInt64Tag);
        PutScalar(*value.TryGet<int64_t>(), stream_);
        return;
      case EncodableValue::kDouble:
        stream_.PutByte(kDoubleTag);
        stream_.PadToAlignment(8);
        PutScalar(*value.TryGet<double>(), stream_);
        return;
      case EncodableValue::kString:
        stream_.PutByte(kStringTag);
        PutBlock(*value.TryGet<std::string>(), stream_, 1);
        return;
      case EncodableValue::kByteList:
        stream_.PutByte(kByteListTag);
        PutBlock(*value.TryGet<std::vector<uint8_t>>(), stream_, 1);
        return;
      case EncodableValue::kInt32List:
        stream_.PutByte(kInt32ListTag);
        PutTypedList(*value.TryGet<std::vector<int32_t>>(), stream_);
        return;
      case EncodableValue::kInt64List:
        stream_.PutByte(kInt64ListTag);
        PutTypedList(*value.TryGet<std::vector<int64_t>>(), stream_);
        return;
      case EncodableValue::kDoubleList:
        stream_.PutByte(kDoubleListTag);
        PutTypedList(*value.TryGet<std::vector<double>>(), stream_);
        return;
      case EncodableValue::kList: {
        const EncodableValueList& list = *value.TryGet<EncodableValueList>();
        stream_.PutByte(kListTag);
        PutSizePrefix(list.size(), stream_);
        for (const EncodableValue& element : list) {
          WriteNested(element);
        }
        return;
      }
      case EncodableValue::kMap: {
        const EncodableValueMap& map = *value.TryGet<EncodableValueMap>();
        stream_.PutByte(kMapTag);
        PutSizePrefix(map.size(), stream_);
        for (const auto& entry : map) {
          WriteNested(entry.first);
          WriteNested(entry.second);
        }
        return;
      }
      case EncodableValue::kCustom:
        // Only a derived serializer knows how to encode custom values; the
        // value arrives on the other side as a null.
        stream_.PutByte(kNullTag);
        std::cerr << "Unhandled custom type in StandardCodecSerializer::WriteValue. "
                  << "Custom types require codec extensions." << std::endl;
        return;
      case EncodableValue::kFloatList:
        stream_.PutByte(kFloatListTag);
        PutTypedList(*value.TryGet<std::vector<float>>(), stream_);
        return;
      default:
        return;
    }
  }

 private:
  void WriteNested(const EncodableValue& value) {
    if (direct_) {
      Write(value);
    } else {
      serializer_.WriteValue(value, &stream_);
    }
  }

  const StandardCodecSerializer& serializer_;
  Stream& stream_;
  bool direct_;
};

}  // namespace

StandardCodecSerializer::StandardCodecSerializer() = default;

StandardCodecSerializer::~StandardCodecSerializer() = default;

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

EncodableValue StandardCodecSerializer::ReadTaggedValue(ByteStreamReader* stream) const {
  if (BeginDecoding(*stream).abandoned) {
    return EncodableValue();
  }
  const uint8_t type = stream->TakeByte();
  return ReadValueOfType(type, stream);
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  EncodableValue value;
  const bool direct = typeid(*this) == typeid(StandardCodecSerializer);
  // The exact type: a derived reader keeps the general path.
  if (typeid(*stream) == typeid(ByteBufferStreamReader)) {
    auto& reader = static_cast<ByteBufferStreamReader&>(*stream);
    Decoder<ByteBufferStreamReader>(*this, reader, direct).ReadInto(type, value);
  } else {
    Decoder<ByteStreamReader>(*this, *stream, direct).ReadInto(type, value);
  }
  return value;
}

size_t StandardCodecSerializer::ReadSizePrefix(ByteStreamReader* stream) const {
  return TakeSizePrefix(*stream);
}

template <typename T>
EncodableValue StandardCodecSerializer::ReadTypedList(ByteStreamReader* stream) const {
  EncodableValue value;
  Decoder<ByteStreamReader>(*this, *stream, false).template ReadTypedListInto<T>(value);
  return value;
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  const bool direct = typeid(*this) == typeid(StandardCodecSerializer);
  if (typeid(*stream) == typeid(ByteBufferStreamWriter)) {
    auto& writer = static_cast<ByteBufferStreamWriter&>(*stream);
    Encoder<ByteBufferStreamWriter>(*this, writer, direct).Write(value);
  } else {
    Encoder<ByteStreamWriter>(*this, *stream, direct).Write(value);
  }
}

void StandardCodecSerializer::WriteSizePrefix(size_t size, ByteStreamWriter* stream) const {
  PutSizePrefix(size, *stream);
}

template <typename T>
void StandardCodecSerializer::WriteTypedList(const std::vector<T>& list,
                                             ByteStreamWriter* stream) const {
  PutTypedList(list, *stream);
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
