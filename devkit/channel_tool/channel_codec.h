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

// Runs the command with `args` (without the program name). Input text comes
// from the arguments after the kind, or from `in` when there are none.
// Decoder diagnostics of the channel layer go to the process's standard error
// stream as in the product; the command's own messages go to `err`.
int RunChannelCodec(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                    std::ostream& err);

}  // namespace tovan::channel_tool

#endif  // TOVAN_DEVKIT_CHANNEL_TOOL_CHANNEL_CODEC_H_
