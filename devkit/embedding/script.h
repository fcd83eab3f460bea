// The script format of the development embedding's script mode: the messages
// to send, one a line, each on its own channel, as the UI would send them.
//
//   # a comment                         (blank lines and lines whose first
//                                        non-blank character is # are skipped)
//   <channel> <call>                    a method call in the typed notation,
//                                        sent encoded with the standard method
//                                        codec, e.g.
//       com.brenmo.tovan/windows_audio setVolume({"volume": 0.5})
//   <channel> hex <bytes>               raw message bytes, for malformed
//                                        messages, e.g.
//       com.brenmo.tovan/windows_audio hex 07 03 66 6F 6F
//   @memory                             no message: the transcript gets the
//                                        process's private bytes and handle
//                                        count at this point (a long session
//                                        puts one after a warm-up and then at
//                                        intervals, to see what it grows by)
//
// The channel is the first blank-delimited word; a line that starts with @ is
// a directive. A line that cannot be read (an unknown directive included)
// becomes a problem (reported in the transcript) and is not sent.
#ifndef DEVKIT_EMBEDDING_SCRIPT_H_
#define DEVKIT_EMBEDDING_SCRIPT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace devkit {

struct ScriptStep {
  enum class Kind { kMessage, kMemory };
  Kind kind = Kind::kMessage;
  int line = 0;
  // For a message only:
  std::string channel;
  // The message as the transcript shows it: the call printed in the typed
  // notation, or "hex" and the bytes.
  std::string shown;
  std::vector<uint8_t> message;
};

struct ScriptProblem {
  int line = 0;
  std::string message;
};

// Reads a script one line at a time, so that a long script is held as its
// text only and each step is built when it is about to be sent. Does not own
// the text.
class ScriptReader {
 public:
  enum class Item { kEnd, kStep, kProblem };

  explicit ScriptReader(std::string_view text) : text_(text) {}

  // The next step or problem, in line order, into `step` or `problem`.
  Item Next(ScriptStep* step, ScriptProblem* problem);

 private:
  std::string_view text_;
  size_t position_ = 0;
  int line_ = 0;
};

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_SCRIPT_H_
