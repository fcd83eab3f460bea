#include "channel/standard_codec_serializer.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <tuple>
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

// Fast paths
// ----------
// The byte streams are the codec's extension points, so the general path
// calls their virtual operations for every byte, and the serializer's own
// overridable operations for every nested value. When the stream is exactly
// one of the buffer streams of channel/byte_buffer_streams.h (whose
// operations a derived class could override, so a derived class does not
// qualify), the decoder and encoder below work on its buffer in place; when
// the serializer is exactly this class, nested values are read and written
// without going back through the virtual operations. Both are the same
// algorithm instantiated for another byte source or sink: every read that
// would fail is handed to the reader's own operation, so the results,
// positions and diagnostics cannot differ from the general path's.

// Direct access to the buffer streams' fields; a friend of both.
struct ByteBufferFastPath {
  static const uint8_t* Bytes(const ByteBufferStreamReader& reader) { return reader.bytes_; }
  static uint64_t Size(const ByteBufferStreamReader& reader) { return reader.size_; }
  static uint64_t& Position(ByteBufferStreamReader& reader) { return reader.position_; }
  static std::vector<uint8_t>& Buffer(ByteBufferStreamWriter& writer) { return *writer.buffer_; }
};

// Direct access to the value model's storage, for building decoded values in
// place; a friend of EncodableValue, EncodableValueList and EncodableValueMap.
struct DecodedValueBuilder {
  // Makes `value` hold a T built from `args`, and answers the T.
  template <class T, class... Args>
  static T& Emplace(EncodableValue& value, Args&&... args) {
    return value.value_.emplace<T>(std::forward<Args>(args)...);
  }
  static std::vector<EncodableValue>& Elements(EncodableValueList& list) { return list.elements_; }
  static EncodableValueMap::Entries& Entries(EncodableValueMap& map) { return map.entries_; }
};

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
template <class Source>
bool MayReadElement(const Source& source, MessageDecodeState& state) {
  if (state.abandoned) {
    return false;
  }
  if (source.RemainingBytes() != 0) {
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
template <class Source>
bool MayAllocateBlock(const Source& source, MessageDecodeState& state, uint64_t size) {
  if (state.abandoned) {
    return false;
  }
  const size_t remaining = source.RemainingBytes();
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

// Byte source of the general path: the reader's virtual operations.
class StreamSource {
 public:
  explicit StreamSource(ByteStreamReader* stream) : stream_(stream) {}

  uint8_t TakeByte() { return stream_->TakeByte(); }
  void TakeBytes(uint8_t* destination, size_t count) { stream_->TakeBytes(destination, count); }
  void SkipToAlignment(uint8_t alignment) { stream_->SkipToAlignment(alignment); }
  size_t RemainingBytes() const { return stream_->RemainingBytes(); }
  // The next `count` bytes in place, consumed, when the source can lend
  // them; nullptr otherwise (the caller then copies them with TakeBytes).
  const uint8_t* TakeSpan(size_t) { return nullptr; }

 private:
  ByteStreamReader* stream_;
};

// Byte source of the fast path: a ByteBufferStreamReader's buffer in place.
// A read that does not fit is left to the reader's own operation, which
// reports it and leaves the position, as on the general path.
class BufferSource {
 public:
  explicit BufferSource(ByteBufferStreamReader* reader)
      : reader_(reader),
        bytes_(ByteBufferFastPath::Bytes(*reader)),
        size_(ByteBufferFastPath::Size(*reader)),
        position_(ByteBufferFastPath::Position(*reader)) {}

  uint8_t TakeByte() {
    if (position_ < size_) {
      return bytes_[position_++];
    }
    return reader_->TakeByte();
  }
  void TakeBytes(uint8_t* destination, size_t count) {
    if (const uint8_t* bytes = TakeSpan(count)) {
      std::memcpy(destination, bytes, count);
    } else {
      reader_->TakeBytes(destination, count);
    }
  }
  void SkipToAlignment(uint8_t alignment) { reader_->SkipToAlignment(alignment); }
  size_t RemainingBytes() const {
    return position_ < size_ ? static_cast<size_t>(size_ - position_) : 0;
  }
  const uint8_t* TakeSpan(size_t count) {
    // The reader's own bounds test; a null buffer (of size 0) lends nothing.
    if (bytes_ == nullptr || position_ > size_ || count > size_ - position_) {
      return nullptr;
    }
    const uint8_t* span = bytes_ + position_;
    position_ += count;
    return span;
  }

 private:
  ByteBufferStreamReader* reader_;
  const uint8_t* bytes_;
  uint64_t size_;
  uint64_t& position_;
};

// Reads elements of T from little-endian bytes in place, one memcpy each,
// so that a typed list is built in one pass instead of being zero-filled
// and then overwritten. (The hosts are little-endian; see PutScalar.)
template <typename T>
class ElementIterator {
 public:
  using iterator_category = std::random_access_iterator_tag;
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
  ElementIterator& operator--() {
    bytes_ -= sizeof(T);
    return *this;
  }
  ElementIterator operator--(int) {
    ElementIterator before = *this;
    bytes_ -= sizeof(T);
    return before;
  }
  ElementIterator& operator+=(difference_type n) {
    bytes_ += n * static_cast<difference_type>(sizeof(T));
    return *this;
  }
  ElementIterator& operator-=(difference_type n) { return *this += -n; }
  ElementIterator operator+(difference_type n) const { return ElementIterator(*this) += n; }
  friend ElementIterator operator+(difference_type n, const ElementIterator& i) { return i + n; }
  ElementIterator operator-(difference_type n) const { return ElementIterator(*this) -= n; }
  T operator[](difference_type n) const { return *(*this + n); }
  difference_type operator-(const ElementIterator& other) const {
    return (bytes_ - other.bytes_) / static_cast<difference_type>(sizeof(T));
  }
  bool operator==(const ElementIterator& other) const { return bytes_ == other.bytes_; }
  bool operator!=(const ElementIterator& other) const { return bytes_ != other.bytes_; }
  bool operator<(const ElementIterator& other) const { return bytes_ < other.bytes_; }
  bool operator>(const ElementIterator& other) const { return bytes_ > other.bytes_; }
  bool operator<=(const ElementIterator& other) const { return bytes_ <= other.bytes_; }
  bool operator>=(const ElementIterator& other) const { return bytes_ >= other.bytes_; }

 private:
  const uint8_t* bytes_;
};

template <typename T, class Source>
T TakeScalar(Source& source) {
  uint8_t bytes[sizeof(T)] = {};
  source.TakeBytes(bytes, sizeof(T));
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

template <class Source>
size_t TakeSizePrefix(Source& source) {
  const uint8_t first = source.TakeByte();
  if (first < 254) {
    return first;
  }
  if (first == 254) {
    return TakeScalar<uint16_t>(source);
  }
  return TakeScalar<uint32_t>(source);
}

// A string's bytes lent by the message, made a std::string where one is
// built from them (as an EncodableValue is, in place in a map node).
struct LentText {
  const uint8_t* bytes = nullptr;
  size_t size = 0;

  operator std::string() const { return std::string(reinterpret_cast<const char*>(bytes), size); }
};

// The decoder of one value whose tag has been read, over either source.
// `direct` (the serializer is exactly StandardCodecSerializer) lets nested
// values be read here instead of through the overridable ReadValueOfType,
// which would come back here anyway. Values are built where they end up: a
// list element or map value is decoded into its slot in the list or map
// node, and a string key lent by the buffer is built in its node. Only a
// key of another kind is moved after it has been built, once, into its node.
template <class Source>
class Decoder {
 public:
  Decoder(const StandardCodecSerializer& serializer, ByteStreamReader* stream, Source source,
          MessageDecodeState& state, bool direct)
      : serializer_(serializer), stream_(stream), source_(source), state_(state), direct_(direct) {}

  EncodableValue ReadOfType(uint8_t type) {
    EncodableValue value;
    ReadInto(type, value);
    return value;
  }

  template <typename T>
  EncodableValue ReadTypedList() {
    EncodableValue value;
    ReadTypedListInto<T>(value);
    return value;
  }

 private:
  // Reads the next tagged value into `out`, which holds null.
  void ReadTaggedInto(EncodableValue& out) {
    if (!direct_) {
      out = serializer_.ReadTaggedValue(stream_);
      return;
    }
    if (state_.abandoned) {
      return;
    }
    ReadInto(source_.TakeByte(), out);
  }

  // Reads a map key into `key`, which holds null; but a string key whose
  // bytes the source lends in place is answered as those bytes (and their
  // number, in `text_size`), so that it is built right in its map node.
  const uint8_t* ReadKey(EncodableValue& key, size_t& text_size) {
    if (!direct_ || state_.abandoned) {
      ReadTaggedInto(key);
      return nullptr;
    }
    const uint8_t type = source_.TakeByte();
    if (type == kStringTag || type == kLegacyStringTag) {
      return ReadStringOrLend(key, text_size);
    }
    ReadInto(type, key);
    return nullptr;
  }

  // Reads a string's size and bytes. Answers the bytes in place when the
  // source lends them (leaving `out` null), and otherwise reads the string
  // into `out` (which holds null) and answers nullptr.
  const uint8_t* ReadStringOrLend(EncodableValue& out, size_t& size) {
    size = TakeSizePrefix(source_);
    if (!MayAllocateBlock(source_, state_, size)) {
      DecodedValueBuilder::Emplace<std::string>(out);
      return nullptr;
    }
    if (const uint8_t* bytes = source_.TakeSpan(size)) {
      return bytes;
    }
    std::string& text = DecodedValueBuilder::Emplace<std::string>(out, size, '\0');
    source_.TakeBytes(reinterpret_cast<uint8_t*>(text.data()), size);
    return nullptr;
  }

  // Reads a value of the given type into `out`, which holds null; a value
  // that reads as null leaves it so.
  void ReadInto(uint8_t type, EncodableValue& out) {
    using Builder = DecodedValueBuilder;
    switch (type) {
      case kNullTag:
        return;
      case kTrueTag:
        Builder::Emplace<bool>(out, true);
        return;
      case kFalseTag:
        Builder::Emplace<bool>(out, false);
        return;
      case kInt32Tag:
        Builder::Emplace<int32_t>(out, TakeScalar<int32_t>(source_));
        return;
      case kInt64Tag:
        Builder::Emplace<int64_t>(out, TakeScalar<int64_t>(source_));
        return;
      case kDoubleTag:
        source_.SkipToAlignment(8);
        Builder::Emplace<double>(out, TakeScalar<double>(source_));
        return;
      case kLegacyStringTag:
      case kStringTag: {
        size_t size = 0;
        if (const uint8_t* bytes = ReadStringOrLend(out, size)) {
          Builder::Emplace<std::string>(out, reinterpret_cast<const char*>(bytes), size);
        }
        return;
      }
      case kByteListTag: {
        const size_t size = TakeSizePrefix(source_);
        if (!MayAllocateBlock(source_, state_, size)) {
          Builder::Emplace<std::vector<uint8_t>>(out);
          return;
        }
        if (const uint8_t* bytes = source_.TakeSpan(size)) {
          Builder::Emplace<std::vector<uint8_t>>(out, bytes, bytes + size);
          return;
        }
        std::vector<uint8_t>& bytes = Builder::Emplace<std::vector<uint8_t>>(out, size);
        source_.TakeBytes(bytes.data(), size);
        return;
      }
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
        if (state_.depth >= StandardCodecSerializer::kMaxNestingDepth) {
          GiveUp(state_, kTooDeep);
          return;
        }
        NestingScope scope(state_);
        const size_t count = TakeSizePrefix(source_);
        std::vector<EncodableValue>& elements =
            Builder::Elements(Builder::Emplace<EncodableValueList>(out));
        const size_t reserved = std::min(count, state_.reservable_elements);
        state_.reservable_elements -= reserved;
        elements.reserve(reserved);
        for (size_t i = 0; i < count && MayReadElement(source_, state_); ++i) {
          elements.emplace_back();
          ReadTaggedInto(elements.back());
        }
        return;
      }
      case kMapTag: {
        if (state_.depth >= StandardCodecSerializer::kMaxNestingDepth) {
          GiveUp(state_, kTooDeep);
          return;
        }
        NestingScope scope(state_);
        const size_t count = TakeSizePrefix(source_);
        EncodableValueMap::Entries& entries =
            Builder::Entries(Builder::Emplace<EncodableValueMap>(out));
        for (size_t i = 0; i < count && MayReadElement(source_, state_); ++i) {
          EncodableValue key;
          LentText key_text;
          key_text.bytes = ReadKey(key, key_text.size);
          // A key without its value (decoding gave up in between) is dropped.
          if (!MayReadElement(source_, state_)) {
            break;
          }
          // Decoded maps arrive in ascending key order (every encoder writes
          // them so), so the end as the hint places a key after one
          // comparison. The first of equivalent keys keeps its value; a
          // later one's value is read and dropped.
          const size_t size_before = entries.size();
          const auto entry =
              key_text.bytes != nullptr
                  ? entries.emplace_hint(entries.end(), std::piecewise_construct,
                                         std::forward_as_tuple(key_text), std::forward_as_tuple())
                  : entries.emplace_hint(entries.end(), std::piecewise_construct,
                                         std::forward_as_tuple(std::move(key)),
                                         std::forward_as_tuple());
          if (entries.size() != size_before) {
            ReadTaggedInto(entry->second);
          } else {
            EncodableValue dropped;
            ReadTaggedInto(dropped);
          }
        }
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
    using Builder = DecodedValueBuilder;
    const size_t count = TakeSizePrefix(source_);
    // Aligned also for an empty list, which the writer leaves unpadded.
    source_.SkipToAlignment(sizeof(T));
    if (!MayAllocateBlock(source_, state_, static_cast<uint64_t>(count) * sizeof(T))) {
      Builder::Emplace<std::vector<T>>(out);
      return;
    }
    if (const uint8_t* bytes = source_.TakeSpan(count * sizeof(T))) {
      Builder::Emplace<std::vector<T>>(out, ElementIterator<T>(bytes),
                                       ElementIterator<T>(bytes + count * sizeof(T)));
      return;
    }
    std::vector<T>& list = Builder::Emplace<std::vector<T>>(out, count);
    source_.TakeBytes(reinterpret_cast<uint8_t*>(list.data()), count * sizeof(T));
  }

  const StandardCodecSerializer& serializer_;
  ByteStreamReader* stream_;
  Source source_;
  MessageDecodeState& state_;
  bool direct_;
};

// Byte sink of the general path: the writer's virtual operations.
class StreamSink {
 public:
  explicit StreamSink(ByteStreamWriter* stream) : stream_(stream) {}

  void PutByte(uint8_t byte) { stream_->PutByte(byte); }
  void PutBytes(const uint8_t* source, size_t count) { stream_->PutBytes(source, count); }
  void PadToAlignment(uint8_t alignment) { stream_->PadToAlignment(alignment); }

 private:
  ByteStreamWriter* stream_;
};

// Byte sink of the fast path: a ByteBufferStreamWriter's vector, appended to
// directly, with the writer's results (zero padding by the vector's length).
class BufferSink {
 public:
  explicit BufferSink(ByteBufferStreamWriter* writer)
      : buffer_(ByteBufferFastPath::Buffer(*writer)) {}

  void PutByte(uint8_t byte) {
    MakeRoom(1);
    buffer_.push_back(byte);
  }
  void PutBytes(const uint8_t* source, size_t count) {
    MakeRoom(count);
    buffer_.insert(buffer_.end(), source, source + count);
  }
  void PadToAlignment(uint8_t alignment) {
    if (alignment == 0) {
      return;
    }
    const size_t misalignment = buffer_.size() % alignment;
    if (misalignment != 0) {
      MakeRoom(alignment - misalignment);
      buffer_.resize(buffer_.size() + alignment - misalignment, 0);
    }
  }

 private:
  // A message usually grows from an empty vector by a few bytes at a time;
  // starting at a size that holds a typical reply saves the first few
  // doublings of the vector.
  void MakeRoom(size_t count) {
    if (buffer_.capacity() - buffer_.size() < count) {
      constexpr size_t kFirstCapacity = 256;
      buffer_.reserve(std::max({buffer_.size() + count, 2 * buffer_.capacity(), kFirstCapacity}));
    }
  }

  std::vector<uint8_t>& buffer_;
};

template <typename T, class Sink>
void PutScalar(T value, Sink& sink) {
  // The hosts of this channel (x86-64, ARM64) are little-endian like the
  // format, so a value's memory is its encoding.
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  sink.PutBytes(bytes, sizeof(T));
}

template <class Sink>
void PutSizePrefix(size_t size, Sink& sink) {
  if (size < 254) {
    sink.PutByte(static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    sink.PutByte(254);
    PutScalar(static_cast<uint16_t>(size), sink);
  } else {
    // The format has no room for sizes of 2^32 and more; nothing on these
    // channels comes near them.
    sink.PutByte(255);
    PutScalar(static_cast<uint32_t>(size), sink);
  }
}

template <typename T, class Sink>
void PutTypedList(const std::vector<T>& list, Sink& sink) {
  PutSizePrefix(list.size(), sink);
  if (list.empty()) {
    return;
  }
  sink.PadToAlignment(sizeof(T));
  sink.PutBytes(reinterpret_cast<const uint8_t*>(list.data()), list.size() * sizeof(T));
}

// The encoder over either sink; `direct` as for Decoder.
template <class Sink>
class Encoder {
 public:
  Encoder(const StandardCodecSerializer& serializer, ByteStreamWriter* stream, Sink sink,
          bool direct)
      : serializer_(serializer), stream_(stream), sink_(sink), direct_(direct) {}

  void WriteNested(const EncodableValue& value) {
    if (direct_) {
      Write(value);
    } else {
      serializer_.WriteValue(value, stream_);
    }
  }

  void Write(const EncodableValue& value) {
    switch (value.Index()) {
      case EncodableValue::kNull:
        sink_.PutByte(kNullTag);
        return;
      case EncodableValue::kBool:
        sink_.PutByte(*value.TryGet<bool>() ? kTrueTag : kFalseTag);
        return;
      case EncodableValue::kInt32:
        sink_.PutByte(kInt32Tag);
        PutScalar(*value.TryGet<int32_t>(), sink_);
        return;
      case EncodableValue::kInt64:
        sink_.PutByte(kInt64Tag);
        PutScalar(*value.TryGet<int64_t>(), sink_);
        return;
      case EncodableValue::kDouble:
        sink_.PutByte(kDoubleTag);
        sink_.PadToAlignment(8);
        PutScalar(*value.TryGet<double>(), sink_);
        return;
      case EncodableValue::kString: {
        const std::string& text = *value.TryGet<std::string>();
        sink_.PutByte(kStringTag);
        PutSizePrefix(text.size(), sink_);
        if (!text.empty()) {
          sink_.PutBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        }
        return;
      }
      case EncodableValue::kByteList: {
        const std::vector<uint8_t>& bytes = *value.TryGet<std::vector<uint8_t>>();
        sink_.PutByte(kByteListTag);
        PutSizePrefix(bytes.size(), sink_);
        if (!bytes.empty()) {
          sink_.PutBytes(bytes.data(), bytes.size());
        }
        return;
      }
      case EncodableValue::kInt32List:
        sink_.PutByte(kInt32ListTag);
        PutTypedList(*value.TryGet<std::vector<int32_t>>(), sink_);
        return;
      case EncodableValue::kInt64List:
        sink_.PutByte(kInt64ListTag);
        PutTypedList(*value.TryGet<std::vector<int64_t>>(), sink_);
        return;
      case EncodableValue::kDoubleList:
        sink_.PutByte(kDoubleListTag);
        PutTypedList(*value.TryGet<std::vector<double>>(), sink_);
        return;
      case EncodableValue::kList: {
        const EncodableValueList& list = *value.TryGet<EncodableValueList>();
        sink_.PutByte(kListTag);
        PutSizePrefix(list.size(), sink_);
        for (const EncodableValue& element : list) {
          WriteNested(element);
        }
        return;
      }
      case EncodableValue::kMap: {
        const EncodableValueMap& map = *value.TryGet<EncodableValueMap>();
        sink_.PutByte(kMapTag);
        PutSizePrefix(map.size(), sink_);
        for (const auto& entry : map) {
          WriteNested(entry.first);
          WriteNested(entry.second);
        }
        return;
      }
      case EncodableValue::kCustom:
        // Only a derived serializer knows how to encode custom values; the
        // value arrives on the other side as a null.
        sink_.PutByte(kNullTag);
        std::cerr << "Unhandled custom type in StandardCodecSerializer::WriteValue. "
                  << "Custom types require codec extensions." << std::endl;
        return;
      case EncodableValue::kFloatList:
        sink_.PutByte(kFloatListTag);
        PutTypedList(*value.TryGet<std::vector<float>>(), sink_);
        return;
      default:
        return;
    }
  }

 private:
  const StandardCodecSerializer& serializer_;
  ByteStreamWriter* stream_;
  Sink sink_;
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
  if (BeginDecoding(stream).abandoned) {
    return EncodableValue();
  }
  const uint8_t type = stream->TakeByte();
  return ReadValueOfType(type, stream);
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  MessageDecodeState& state = BeginDecoding(stream);
  const bool direct = typeid(*this) == typeid(StandardCodecSerializer);
  if (typeid(*stream) == typeid(ByteBufferStreamReader)) {
    auto* reader = static_cast<ByteBufferStreamReader*>(stream);
    return Decoder<BufferSource>(*this, stream, BufferSource(reader), state, direct)
        .ReadOfType(type);
  }
  return Decoder<StreamSource>(*this, stream, StreamSource(stream), state, direct).ReadOfType(type);
}

size_t StandardCodecSerializer::ReadSizePrefix(ByteStreamReader* stream) const {
  StreamSource source(stream);
  return TakeSizePrefix(source);
}

template <typename T>
EncodableValue StandardCodecSerializer::ReadTypedList(ByteStreamReader* stream) const {
  return Decoder<StreamSource>(*this, stream, StreamSource(stream), BeginDecoding(stream), false)
      .template ReadTypedList<T>();
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  const bool direct = typeid(*this) == typeid(StandardCodecSerializer);
  if (typeid(*stream) == typeid(ByteBufferStreamWriter)) {
    auto* writer = static_cast<ByteBufferStreamWriter*>(stream);
    Encoder<BufferSink>(*this, stream, BufferSink(writer), direct).Write(value);
    return;
  }
  Encoder<StreamSink>(*this, stream, StreamSink(stream), direct).Write(value);
}

void StandardCodecSerializer::WriteSizePrefix(size_t size, ByteStreamWriter* stream) const {
  StreamSink sink(stream);
  PutSizePrefix(size, sink);
}

template <typename T>
void StandardCodecSerializer::WriteTypedList(const std::vector<T>& list,
                                             ByteStreamWriter* stream) const {
  StreamSink sink(stream);
  PutTypedList(list, sink);
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
