#ifndef CHANNEL_BYTE_BUFFER_STREAMS_H_
#define CHANNEL_BYTE_BUFFER_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "channel/byte_streams.h"

namespace flutter {

// Reads one message from a caller's buffer, which must outlive the reader.
// A read past the end writes "Invalid read in StandardCodecByteStreamReader"
// to the standard error stream, yields zeros and leaves the position where it
// was. Made per message by the codec; used on one thread.
//
// The operations are final and inline: the codec decodes from exactly this
// class without a virtual call per byte (a derived reader takes the general
// path, through the virtual operations).
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

  uint8_t TakeByte() final {
    if (position_ < size_) {
      return bytes_[position_++];
    }
    ReportInvalidRead();
    return 0;
  }

  void TakeBytes(uint8_t* destination, size_t count) final {
    const uint8_t* bytes = LendBytes(count);
    if (bytes == nullptr) {
      // A null buffer of size 0 still gives zero bytes without complaint.
      if (count != 0 || position_ > size_) {
        ReportInvalidRead();
      }
      return;
    }
    if (count != 0) {
      std::memcpy(destination, bytes, count);
    }
  }

  void SkipToAlignment(uint8_t alignment) final {
    if (alignment != 0 && position_ % alignment != 0) {
      position_ += alignment - position_ % alignment;
    }
  }

  size_t RemainingBytes() const final {
    return position_ < size_ ? static_cast<size_t>(size_ - position_) : 0;
  }

  // The next `count` bytes where they lie, consumed, or nullptr (nothing
  // consumed, no diagnostic) when fewer remain or the buffer is null.
  const uint8_t* LendBytes(size_t count) {
    // Written so that neither sum can wrap: the position may already lie
    // past the end after an alignment skip.
    if (bytes_ == nullptr || position_ > size_ || count > size_ - position_) {
      return nullptr;
    }
    const uint8_t* span = bytes_ + position_;
    position_ += count;
    return span;
  }

  // Offset of the next read from the first byte; may lie past the end after
  // SkipToAlignment.
  uint64_t Position() const { return position_; }

 private:
  static void ReportInvalidRead();

  const uint8_t* bytes_;
  uint64_t size_;
  uint64_t position_ = 0;
};

// Appends one message to a caller's byte vector, which must outlive the
// writer. Made per message by the codec; used on one thread. Final and
// inline for the codec's sake, like the reader.
class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {}

  void PutByte(uint8_t byte) final { buffer_->push_back(byte); }
  void PutBytes(const uint8_t* source, size_t count) final {
    buffer_->insert(buffer_->end(), source, source + count);
  }
  void PadToAlignment(uint8_t alignment) final {
    if (alignment != 0 && buffer_->size() % alignment != 0) {
      buffer_->resize(buffer_->size() + alignment - buffer_->size() % alignment, 0);
    }
  }

 private:
  std::vector<uint8_t>* buffer_;
};

}  // namespace flutter

#endif  // CHANNEL_BYTE_BUFFER_STREAMS_H_
