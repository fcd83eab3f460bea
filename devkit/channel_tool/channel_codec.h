// The channel-codec command: decodes channel messages given as hexadecimal
// into the typed notation and encodes notation into hexadecimal. Kept apart
// from main() so that tests can run it in-process with their own streams.
#ifndef TOVAN_DEVKIT_CHANNEL_TOOL_CHANNEL_CODEC_H_
#define TOVAN_DEVKIT_CHANNEL_TOOL_CHANNEL_CODEC_H_

#include <iosfwd>
#include <string>
#include <vector>

namespace tovan::channel_tool {

// Exit codes of the command.
constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;  // Bad hexadecimal or notation, or not a method call.
constexpr int kExitUsage = 2;     // Unknown command or kind.
// Decoded, but the message was malformed (truncated, an unknown tag, too
// deep): the value shown is what the channel reads, and the decoder's
// diagnostics went to the error stream.
constexpr int kExitMalformed = 3;

// Runs the command with `args` (without the program name). Input text comes
// from the arguments after the kind, or from `in` when there are none.
// Everything meant for the user's eyes goes to `out` and `err`, the channel
// decoder's own diagnostics included.
int RunChannelCodec(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                    std::ostream& err);

}  // namespace tovan::channel_tool

#endif  // TOVAN_DEVKIT_CHANNEL_TOOL_CHANNEL_CODEC_H_
