#include "devkit/channel_tool/channel_codec.h"

#include <istream>
#include <iterator>
#include <memory>
#include <ostream>
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
    "exit status: 0 done, 1 input not readable, 2 usage\n";

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

void NoteTrailingBytes(std::ostream& err, const flutter::ByteBufferStreamReader& reader,
                       size_t size) {
  if (reader.Position() < size) {
    err << "channel-codec: note: " << (size - reader.Position())
        << " byte(s) after the message were ignored\n";
  }
}

int Decode(Kind kind, const std::string& text, std::ostream& out, std::ostream& err) {
  std::vector<uint8_t> bytes;
  notation::ParseError error;
  if (!notation::FromHex(text, &bytes, &error)) {
    return ReportParseError(err, "bad hexadecimal", text, error);
  }
  const flutter::StandardCodecSerializer& serializer =
      flutter::StandardCodecSerializer::GetInstance();
  if (kind == Kind::kReply) {
    out << notation::PrintReply(bytes.data(), bytes.size()) << '\n';
    return kExitOk;
  }
  flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
  if (kind == Kind::kValue) {
    const flutter::EncodableValue value = serializer.ReadTaggedValue(&reader);
    out << notation::PrintValue(value) << '\n';
    NoteTrailingBytes(err, reader, bytes.size());
    return kExitOk;
  }
  // The same two reads as the standard method codec's call decoding.
  const flutter::EncodableValue name = serializer.ReadTaggedValue(&reader);
  const std::string* method = name.TryGet<std::string>();
  if (method == nullptr) {
    err << "channel-codec: not a method call: the method name is " << notation::PrintValue(name)
        << ", not a string\n";
    return kExitBadInput;
  }
  const flutter::EncodableValue arguments = serializer.ReadTaggedValue(&reader);
  out << notation::PrintCall(*method, arguments) << '\n';
  NoteTrailingBytes(err, reader, bytes.size());
  return kExitOk;
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
