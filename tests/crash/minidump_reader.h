#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the crash tests need to know about a minidump file, read from its bytes by hand: the
// header, the stream directory, the thread list and the exception stream.
struct MinidumpSummary {
  std::uint32_t streamCount = 0;
  std::vector<std::uint32_t> streamTypes;  // in directory order
  std::vector<std::uint32_t> threadIds;
  struct Exception {
    std::uint32_t threadId = 0;
    std::uint32_t code = 0;
    std::uint64_t address = 0;
  };
  std::optional<Exception> exception;
};

// Reads and checks a minidump: the "MDMP" signature and format version, a stream directory and
// streams that lie inside the file, a thread list. Returns an error message, or nothing with
// `summary` filled in.
std::optional<std::string> ReadMinidump(const std::vector<unsigned char>& bytes,
                                        MinidumpSummary& summary);
