#include "devkit/channel_tool/channel_codec.h"

#include <iostream>
#include <istream>
#include <iterator>
#include <memory>
#include <ostream>
#include <sstream>
#include <utility>

#include "channel/byte_buffer_streams.h"
#include "channel/method_call.h"
#include "channel/standard_codec_serializer.h"
#include "channel/standard_method_codec.h"
#include "devkit/notation/channel_notation.h"

namespace tovan::channel_tool {
namespace {

constexpr char kUsage[] =
    "usage: channel-codec decode value|call|reply [HEX...]\n"
    "       channel-codec encode value|call|reply [NOTATION...]\n"
    "\n"
    "decode  reads a message as hexadecimal bytes (spaces allowed) and prints it\n"
    "        in the typed notation\n"
    "encode  reads a value, a method call or a reply in the typed notation and\n"
    "        prints its bytes as hexadecimal\n"
    "Without input arguments the input is read from standard input.\n"
    "\n"
    "notation: null true false 1 (int32) 1L (int64) 1.0 nan inf (double)\n"
    "          \"text\\x00\" bytes[01 FF] i32[1, 2] i64[1, 2] f64[1.5] f32[0.5]\n"
    "          [list, of, values] {\"key\": value}\n"
    "          call: setVolume({\"volume\": 0.5})\n"
    "          reply: success(true) error(\"CODE\", \"message\", null) notImplemented\n"
    "exit status: 0 done, 1 input not readable, 2 usage, 3 decoded a malformed\n"
    "             message as the channel would (its diagnostics on standard error)\n";

enum class Kind { kValue, kCall, kReply };

std::string JoinInput(const std::vector<std::string>& args, size_t first, std::istream& in) {
  if (first >= args.size()) {
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string text;
  for (size_t i = first; i < args.size(); ++i) {
    if (i != first) text += ' ';
    text += args[i];
  }
  return text;
}

int ReportParseError(std::ostream& err, const char* what, const std::string& text,
                     const notation::ParseError& error) {
  err << "channel-codec: " << what << " at offset " << error.position << " ("
      << notation::DescribePosition(text, error.position) << "): " << error.message << '\n';
  // The offending line with a caret under the offending byte.
  size_t line_start = 0;
  if (error.position > 0) {
    const size_t newline = text.rfind('\n', error.position - 1);
    if (newline != std::string::npos) line_start = newline + 1;
  }
  size_t line_end = text.find('\n', line_start);
  if (line_end == std::string::npos) line_end = text.size();
  err << "  " << text.substr(line_start, line_end - line_start) << "\n  "
      << std::string(error.position - line_start, ' ') << "^\n";
  return kExitBadInput;
}

// Collects what the channel layer writes to std::cerr (a line per read past
// the end, unknown tag or abandoned message) while one message is decoded, so
// that the command can pass it on in order and tell a malformed message by
// its exit status. The command runs on one thread.
class DecoderDiagnostics {
 public:
  DecoderDiagnostics() : previous_(std::cerr.rdbuf(captured_.rdbuf())) {}
  ~DecoderDiagnostics() { std::cerr.rdbuf(previous_); }
  DecoderDiagnostics(const DecoderDiagnostics&) = delete;
  DecoderDiagnostics& operator=(const DecoderDiagnostics&) = delete;

  std::string Text() const { return captured_.str(); }

 private:
  std::ostringstream captured_;
  std::streambuf* previous_;
};

// What decoding one message gave: the notation, or why it is not a message
// of the kind asked for, and how many bytes it left unread.
struct Decoded {
  bool ok = true;
  std::string text;
  size_t unread = 0;
};

Decoded DecodeMessage(Kind kind, const std::vector<uint8_t>& bytes) {
  Decoded decoded;
  if (kind == Kind::kReply) {
    decoded.text = notation::PrintReply(bytes.data(), bytes.size());
    return decoded;
  }
  const flutter::StandardCodecSerializer& serializer =
      flutter::StandardCodecSerializer::GetInstance();
  flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
  const flutter::EncodableValue first = serializer.ReadTaggedValue(&reader);
  if (kind == Kind::kValue) {
    decoded.text = notation::PrintValue(first);
  } else if (const std::string* method = first.TryGet<std::string>()) {
    // The same two reads as the standard method codec's call decoding.
    decoded.text = notation::PrintCall(*method, serializer.ReadTaggedValue(&reader));
  } else {
    decoded.ok = false;
    decoded.text =
        "not a method call: the method name is " + notation::PrintValue(first) + ", not a string";
    return decoded;
  }
  if (reader.Position() < bytes.size()) {
    decoded.unread = static_cast<size_t>(bytes.size() - reader.Position());
  }
  return decoded;
}

int Decode(Kind kind, const std::string& text, std::ostream& out, std::ostream& err) {
  std::vector<uint8_t> bytes;
  notation::ParseError error;
  if (!notation::FromHex(text, &bytes, &error)) {
    return ReportParseError(err, "bad hexadecimal", text, error);
  }
  Decoded decoded;
  std::string diagnostics;
  {
    DecoderDiagnostics capture;
    decoded = DecodeMessage(kind, bytes);
    diagnostics = capture.Text();
  }
  err << diagnostics;
  if (!decoded.ok) {
    err << "channel-codec: " << decoded.text << '\n';
    return kExitBadInput;
  }
  out << decoded.text << '\n';
  if (decoded.unread != 0) {
    err << "channel-codec: note: " << decoded.unread << " byte(s) after the message were ignored\n";
  }
  return diagnostics.empty() ? kExitOk : kExitMalformed;
}

int Encode(Kind kind, const std::string& text, std::ostream& out, std::ostream& err) {
  notation::ParseError error;
  std::vector<uint8_t> bytes;
  if (kind == Kind::kValue) {
    flutter::EncodableValue value;
    if (!notation::ParseValue(text, &value, &error)) {
      return ReportParseError(err, "bad value", text, error);
    }
    flutter::ByteBufferStreamWriter writer(&bytes);
    flutter::StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  } else if (kind == Kind::kCall) {
    std::string method;
    auto arguments = std::make_unique<flutter::EncodableValue>();
    if (!notation::ParseCall(text, &method, arguments.get(), &error)) {
      return ReportParseError(err, "bad method call", text, error);
    }
    const flutter::MethodCall<flutter::EncodableValue> call(method, std::move(arguments));
    bytes = *flutter::StandardMethodCodec::SharedInstance().EncodeCall(call);
  } else {
    notation::Reply reply;
    if (!notation::ParseReply(text, &reply, &error)) {
      return ReportParseError(err, "bad reply", text, error);
    }
    bytes = notation::EncodeReply(reply);
  }
  out << notation::ToHex(bytes.data(), bytes.size()) << '\n';
  return kExitOk;
}

}  // namespace

int RunChannelCodec(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                    std::ostream& err) {
  if (args.size() == 1 && (args[0] == "help" || args[0] == "--help" || args[0] == "-h")) {
    out << kUsage;
    return kExitOk;
  }
  if (args.size() < 2 || (args[0] != "decode" && args[0] != "encode")) {
    err << kUsage;
    return kExitUsage;
  }
  Kind kind;
  if (args[1] == "value") {
    kind = Kind::kValue;
  } else if (args[1] == "call") {
    kind = Kind::kCall;
  } else if (args[1] == "reply") {
    kind = Kind::kReply;
  } else {
    err << "channel-codec: unknown kind '" << args[1] << "': use value, call or reply\n";
    return kExitUsage;
  }
  const std::string text = JoinInput(args, 2, in);
  return args[0] == "decode" ? Decode(kind, text, out, err) : Encode(kind, text, out, err);
}

}  // namespace tovan::channel_tool
