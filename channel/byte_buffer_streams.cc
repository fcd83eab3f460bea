#include "channel/byte_buffer_streams.h"

#include <cstring>
#include <iostream>

namespace flutter {

namespace {

void ReportInvalidRead() {
  std::cerr << "Invalid read in StandardCodecByteStreamReader" << std::endl;
}

}  // namespace

ByteBufferStreamReader::ByteBufferStreamReader(const uint8_t* bytes, size_t size)
    : bytes_(bytes), size_(size) {}

ByteBufferStreamReader::~ByteBufferStreamReader() = default;

uint8_t ByteBufferStreamReader::TakeByte() {
  if (position_ >= size_) {
    ReportInvalidRead();
    return 0;
  }
  return bytes_[position_++];
}

void ByteBufferStreamReader::TakeBytes(uint8_t* destination, size_t count) {
  // Written so that neither sum can wrap: the position may already lie past
  // the end after an alignment skip.
  if (position_ > size_ || count > size_ - position_) {
    ReportInvalidRead();
    return;
  }
  if (count != 0) {
    std::memcpy(destination, bytes_ + position_, count);
  }
  position_ += count;
}

void ByteBufferStreamReader::SkipToAlignment(uint8_t alignment) {
  if (alignment == 0) {
    return;
  }
  const uint64_t misalignment = position_ % alignment;
  if (misalignment != 0) {
    position_ += alignment - misalignment;
  }
}

size_t ByteBufferStreamReader::RemainingBytes() const {
  return position_ < size_ ? static_cast<size_t>(size_ - position_) : 0;
}

ByteBufferStreamWriter::ByteBufferStreamWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {}

ByteBufferStreamWriter::~ByteBufferStreamWriter() = default;

void ByteBufferStreamWriter::PutByte(uint8_t byte) { buffer_->push_back(byte); }

void ByteBufferStreamWriter::PutBytes(const uint8_t* source, size_t count) {
  buffer_->insert(buffer_->end(), source, source + count);
}

void ByteBufferStreamWriter::PadToAlignment(uint8_t alignment) {
  if (alignment == 0) {
    return;
  }
  while (buffer_->size() % alignment != 0) {
    PutByte(0);
  }
}

}  // namespace flutter
