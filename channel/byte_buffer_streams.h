#ifndef CHANNEL_BYTE_BUFFER_STREAMS_H_
#define CHANNEL_BYTE_BUFFER_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "channel/byte_streams.h"

namespace flutter {

// The standard codec's direct access to these two streams (defined with the
// codec): when it is given one of them exactly, not a class derived from it,
// it reads and writes the buffer in place instead of calling the virtual
// operations for every byte, with the same results and diagnostics.
struct ByteBufferFastPath;

// Reads one message from a caller's buffer, which must outlive the reader.
// A read past the end writes "Invalid read in StandardCodecByteStreamReader"
// to the standard error stream, yields zeros and leaves the position where it
// was. Made per message by the codec; used on one thread.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* bytes, size_t size);
  ~ByteBufferStreamReader() override;

  uint8_t TakeByte() override;
  void TakeBytes(uint8_t* destination, size_t count) override;
  void SkipToAlignment(uint8_t alignment) override;
  size_t RemainingBytes() const override;

  // Offset of the next read from the first byte; may lie past the end after
  // SkipToAlignment.
  uint64_t Position() const { return position_; }

 private:
  friend struct ByteBufferFastPath;

  const uint8_t* bytes_;
  uint64_t size_;
  uint64_t position_ = 0;
};

// Appends one message to a caller's byte vector, which must outlive the
// writer. Made per message by the codec; used on one thread.
class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer);
  ~ByteBufferStreamWriter() override;

  void PutByte(uint8_t byte) override;
  void PutBytes(const uint8_t* source, size_t count) override;
  void PadToAlignment(uint8_t alignment) override;

 private:
  friend struct ByteBufferFastPath;

  std::vector<uint8_t>* buffer_;
};

}  // namespace flutter

#endif  // CHANNEL_BYTE_BUFFER_STREAMS_H_
