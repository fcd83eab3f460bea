#include "tests/crash/minidump_reader.h"

#include <cstring>

namespace {

constexpr std::uint32_t kSignature = 0x504D444D;  // "MDMP"
constexpr std::uint32_t kFormatVersion = 0xA793;
constexpr std::uint32_t kThreadListStream = 3;
constexpr std::uint32_t kExceptionStream = 6;
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kDirectoryEntrySize = 12;
constexpr std::size_t kThreadEntrySize = 48;

// Little-endian reads that fail instead of reading past the end.
class Bytes {
 public:
  explicit Bytes(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
  bool Has(std::uint64_t offset, std::uint64_t size) const {
    return offset <= bytes_.size() && size <= bytes_.size() - offset;
  }
  std::uint32_t U32(std::size_t offset) const {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes_.data() + offset, sizeof(value));
    return value;
  }
  std::uint64_t U64(std::size_t offset) const {
    std::uint64_t value = 0;
    std::memcpy(&value, bytes_.data() + offset, sizeof(value));
    return value;
  }

 private:
  const std::vector<unsigned char>& bytes_;
};

}  // namespace

std::optional<std::string> ReadMinidump(const std::vector<unsigned char>& bytes,
                                        MinidumpSummary& summary) {
  const Bytes in(bytes);
  if (!in.Has(0, kHeaderSize)) return "shorter than a header";
  if (in.U32(0) != kSignature) return "no MDMP signature";
  if ((in.U32(4) & 0xFFFF) != kFormatVersion) return "unknown format version";
  summary.streamCount = in.U32(8);
  const std::uint32_t directory = in.U32(12);
  if (!in.Has(directory, std::uint64_t{summary.streamCount} * kDirectoryEntrySize)) {
    return "stream directory outside the file";
  }
  bool haveThreads = false;
  for (std::uint32_t i = 0; i < summary.streamCount; ++i) {
    const std::size_t entry = directory + i * kDirectoryEntrySize;
    const std::uint32_t type = in.U32(entry);
    const std::uint32_t size = in.U32(entry + 4);
    const std::uint32_t rva = in.U32(entry + 8);
    if (!in.Has(rva, size)) return "stream " + std::to_string(type) + " outside the file";
    summary.streamTypes.push_back(type);
    if (type == kThreadListStream) {
      if (size < 4) return "thread list too short";
      const std::uint32_t count = in.U32(rva);
      if (4 + std::uint64_t{count} * kThreadEntrySize > size) return "thread list overruns";
      for (std::uint32_t t = 0; t < count; ++t) {
        summary.threadIds.push_back(in.U32(rva + 4 + t * kThreadEntrySize));
      }
      haveThreads = true;
    } else if (type == kExceptionStream) {
      // ThreadId, alignment, then MINIDUMP_EXCEPTION: code, flags, record (8), address (8).
      if (size < 32) return "exception stream too short";
      summary.exception =
          MinidumpSummary::Exception{in.U32(rva), in.U32(rva + 8), in.U64(rva + 24)};
    }
  }
  if (!haveThreads) return "no thread list";
  return std::nullopt;
}
