#ifndef CHANNEL_STANDARD_CODEC_SERIALIZER_H_
#define CHANNEL_STANDARD_CODEC_SERIALIZER_H_

#include <cstddef>
#include <cstdint>

#include "channel/byte_streams.h"
#include "channel/encodable_value.h"

namespace flutter {

// Writes EncodableValues in the standard message codec's byte format and
// reads them back. Stateless: one instance may serve every thread at once.
// Derived serializers extend the format (custom values) by overriding
// WriteValue and ReadValueOfType; nested values go through those overrides.
class StandardCodecSerializer {
 public:
  // Lists and maps nested deeper than this are not decoded (the rest of the
  // message is ignored, with a diagnostic). The channels nest a handful of
  // levels; the limit keeps every operation on a decoded value, all of which
  // recurse once per level, far from the end of the stack.
  static constexpr size_t kMaxNestingDepth = 256;

  // A truncated message decodes as far as it goes, with nulls for missing
  // list elements and map keys and values, and zeros for the missing bytes
  // of strings and typed lists, as long as it lacks no more than this many
  // elements and no more than its own length plus this many bytes. Beyond
  // that the rest of the message is ignored, with a diagnostic.
  static constexpr size_t kMissingAllowance = 64;

  StandardCodecSerializer();
  StandardCodecSerializer(const StandardCodecSerializer&) = delete;
  StandardCodecSerializer& operator=(const StandardCodecSerializer&) = delete;
  virtual ~StandardCodecSerializer();

  // The process-wide serializer, made on first use (thread-safe).
  static const StandardCodecSerializer& GetInstance();
  static const StandardCodecSerializer& SharedInstance() { return GetInstance(); }

  // Appends the encoding of `value`.
  virtual void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const;

  // Reads one tag byte and the value it introduces. Never fails: truncated
  // or malformed input yields zeros and nulls with diagnostics.
  EncodableValue ReadTaggedValue(ByteStreamReader* stream) const;
  EncodableValue ReadValue(ByteStreamReader* stream) const { return ReadTaggedValue(stream); }

 protected:
  // Decodes the payload of a value whose tag byte has already been read.
  virtual EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const;

  size_t ReadSizePrefix(ByteStreamReader* stream) const;
  void WriteSizePrefix(size_t size, ByteStreamWriter* stream) const;

  // Typed-list payloads (int32, int64, double, float lists).
  template <typename T>
  EncodableValue ReadTypedList(ByteStreamReader* stream) const;
  template <typename T>
  void WriteTypedList(const std::vector<T>& list, ByteStreamWriter* stream) const;
};

}  // namespace flutter

#endif  // CHANNEL_STANDARD_CODEC_SERIALIZER_H_
