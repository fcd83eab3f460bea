#ifndef CHANNEL_BYTE_STREAMS_H_
#define CHANNEL_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <limits>

namespace flutter {

// What the standard codec's decoder tracks while it reads one message: how
// deeply lists and maps are nested at the current read, how many elements
// and bytes the message may still announce without containing them, and
// whether decoding has given up on the rest of the message. The serializer keeps no state of
// its own, so this lives with the reader, which reads exactly one message.
struct MessageDecodeState {
  bool started = false;
  bool abandoned = false;
  size_t depth = 0;
  size_t missing_elements_allowed = 0;
  size_t missing_bytes_allowed = 0;
  size_t reservable_elements = 0;
};

// Abstract source of the bytes of one encoded message. Made per message by
// whoever decodes it and used on that one thread.
class ByteStreamReader {
 public:
  // RemainingBytes() of a reader that cannot tell how much is left.
  static constexpr size_t kUnknownRemaining = std::numeric_limits<size_t>::max();

  ByteStreamReader() = default;
  ByteStreamReader(const ByteStreamReader&) = delete;
  ByteStreamReader& operator=(const ByteStreamReader&) = delete;
  virtual ~ByteStreamReader() = default;

  // The next byte; 0 (with a diagnostic) when there is none.
  virtual uint8_t TakeByte() = 0;
  // The next `count` bytes into `destination`, all or nothing.
  virtual void TakeBytes(uint8_t* destination, size_t count) = 0;
  // Moves to the next multiple of `alignment` counted from the message start.
  virtual void SkipToAlignment(uint8_t alignment) = 0;

  // Bytes left before the end of the message, so that the decoder can bound
  // its work by them; kUnknownRemaining when the source cannot tell (then the
  // decoder bounds only nesting depth).
  virtual size_t RemainingBytes() const { return kUnknownRemaining; }

  MessageDecodeState& DecodeState() { return decode_state_; }

 private:
  MessageDecodeState decode_state_;
};

// Abstract sink for the bytes of one encoded message. Made per message by
// whoever encodes it and used on that one thread.
class ByteStreamWriter {
 public:
  ByteStreamWriter() = default;
  ByteStreamWriter(const ByteStreamWriter&) = delete;
  ByteStreamWriter& operator=(const ByteStreamWriter&) = delete;
  virtual ~ByteStreamWriter() = default;

  virtual void PutByte(uint8_t byte) = 0;
  virtual void PutBytes(const uint8_t* source, size_t count) = 0;
  // Appends zero bytes until the output length is a multiple of `alignment`.
  virtual void PadToAlignment(uint8_t alignment) = 0;
};

}  // namespace flutter

#endif  // CHANNEL_BYTE_STREAMS_H_
