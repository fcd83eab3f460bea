// Time and peak memory of decoding hostile messages of five and six bytes
// whose size prefix is all ones (4,294,967,295 elements or bytes), and of a
// map of 10^6 int32 keys written in descending order (the decoder has to
// sort them; the same keys ascending for comparison; the 6 MB message
// itself counts in the peak). Each decode runs in its own
// child process so that its peak resident memory is its own (getrusage of the child); a child
// decoding a plain null is the baseline. Benchmark tool only; run by scripts/bench. POSIX only.
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "channel/byte_buffer_streams.h"
#include "channel/standard_codec_serializer.h"
#include "devkit/notation/channel_notation.h"

namespace {

struct Message {
  const char* name;
  std::vector<uint8_t> bytes;
};

// In the child: decode once, report what came out and how many diagnostic
// lines it wrote (the decoder writes them to stderr, which goes to a pipe).
[[noreturn]] void DecodeInChild(const Message& message, int stderr_pipe, int result_pipe) {
  dup2(stderr_pipe, STDERR_FILENO);
  flutter::ByteBufferStreamReader reader(message.bytes.data(), message.bytes.size());
  const auto start = std::chrono::steady_clock::now();
  const flutter::EncodableValue value =
      flutter::StandardCodecSerializer::GetInstance().ReadTaggedValue(&reader);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const auto* map = value.TryGet<flutter::EncodableValueMap>();
  std::string text =
      map != nullptr && map->size() > 1000
          ? "map of " + std::to_string(map->size()) + " entries, " +
                (std::is_sorted(map->begin(), map->end(),
                                [](const auto& a, const auto& b) { return a.first < b.first; })
                     ? "in key order"
                     : "OUT OF ORDER")
          : tovan::notation::PrintValue(value);
  if (text.size() > 40) text = text.substr(0, 37) + "...";
  const std::string line =
      std::to_string(std::chrono::duration<double, std::micro>(elapsed).count()) + " " + text;
  if (write(result_pipe, line.data(), line.size()) < 0) _exit(2);
  _exit(0);
}

void Measure(const Message& message) {
  int stderr_pipe[2];
  int result_pipe[2];
  if (pipe(stderr_pipe) != 0 || pipe(result_pipe) != 0) {
    std::perror("pipe");
    std::exit(1);
  }
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    close(stderr_pipe[0]);
    close(result_pipe[0]);
    DecodeInChild(message, stderr_pipe[1], result_pipe[1]);
  }
  close(stderr_pipe[1]);
  close(result_pipe[1]);
  // Count the diagnostic lines while the child writes them, so that a
  // flood cannot fill the pipe and stall it.
  size_t lines = 0;
  char buffer[4096];
  ssize_t count;
  while ((count = read(stderr_pipe[0], buffer, sizeof(buffer))) > 0) {
    for (ssize_t i = 0; i < count; ++i) lines += buffer[i] == '\n';
  }
  std::string result;
  while ((count = read(result_pipe[0], buffer, sizeof(buffer))) > 0) result.append(buffer, count);
  close(stderr_pipe[0]);
  close(result_pipe[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  const size_t space = result.find(' ');
  const double micros = space == std::string::npos ? -1 : std::atof(result.c_str());
  const size_t shown = std::min<size_t>(message.bytes.size(), 6);
  std::printf("%-24s %-18s %12.1f us %10ld KiB %8zu  %s\n", message.name,
              (tovan::notation::ToHex(message.bytes.data(), shown) +
               (shown < message.bytes.size() ? " ..." : ""))
                  .c_str(),
              micros, usage.ru_maxrss, lines,
              space == std::string::npos ? "(child failed)" : result.substr(space + 1).c_str());
}

// A map of `count` int32 keys with null values, keys descending or ascending.
std::vector<uint8_t> MapOfInt32Keys(uint32_t count, bool descending) {
  std::vector<uint8_t> bytes = {0x0D, 0xFF};
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back((count >> shift) & 0xFF);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t key = descending ? count - 1 - i : i;
    bytes.push_back(0x03);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back((key >> shift) & 0xFF);
    bytes.push_back(0x00);
  }
  return bytes;
}

}  // namespace

int main() {
  // The five-byte forms end inside their 4-byte size prefix, so the size
  // reads as 0 (one failed read); the six-byte forms really announce
  // 4,294,967,295 elements or bytes.
  const Message messages[] = {
      {"baseline null", {0x00}},
      {"list, 5 bytes", {0x0C, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"string, 5 bytes", {0x07, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"list of 2^32-1", {0x0C, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"string of 2^32-1 bytes", {0x07, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"map of 2^32-1", {0x0D, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"byte list of 2^32-1", {0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"double list of 2^32-1", {0x0B, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"map, 10^6 keys ascending", MapOfInt32Keys(1000000, false)},
      {"map, 10^6 keys reversed", MapOfInt32Keys(1000000, true)},
  };
  std::printf("%-24s %-18s %15s %14s %8s  %s\n", "hostile message", "bytes", "decode time",
              "peak memory", "diag.", "decoded as");
  for (const Message& message : messages) Measure(message);
  return 0;
}
