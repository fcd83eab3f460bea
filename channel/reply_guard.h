#ifndef CHANNEL_REPLY_GUARD_H_
#define CHANNEL_REPLY_GUARD_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace flutter {

// The reply path of one incoming binary message: delivers the response bytes
// (pointer, count) to the Flutter side.
using ByteReply = std::function<void(const uint8_t* reply, size_t reply_size)>;

// Holds the ByteReply of one message and sends through it at most once: a
// second answer is dropped with a diagnostic, and destroying the guard
// before any answer warns that the sender waits forever. Owned by the
// engine-backed method result; used by one thread at a time.
class ReplyGuard {
 public:
  // Takes over `reply`, leaving it empty.
  explicit ReplyGuard(ByteReply&& reply);
  ReplyGuard(const ReplyGuard&) = delete;
  ReplyGuard& operator=(const ReplyGuard&) = delete;
  ~ReplyGuard();

  // Sends `buffer` (nullptr or empty: a null pointer and count 0) the first
  // time; later calls only print the duplicate-answer diagnostic.
  void SendReply(const std::vector<uint8_t>* buffer);

 private:
  ByteReply reply_;
};

}  // namespace flutter

#endif  // CHANNEL_REPLY_GUARD_H_
