// The typed channel notation: a readable text form of channel values, method
// calls and replies in which every alternative of an EncodableValue looks
// different (the int32 1, the int64 1L, the double 1.0 and the string "1").
// Printing is exact and parsing gives back the same value, so a transcript
// written with these functions can be replayed. The command-line tool
// channel-codec, the development embedding's console and its script mode use
// it. Every function is pure and may be called from any thread.
//
// Grammar (whitespace between tokens is free):
//   value    = "null" | "true" | "false" | int32 | int64 | double | string
//            | "bytes[" {hexpair} "]" | "i32[" ints "]" | "i64[" ints "]"
//            | "f64[" floats "]" | "f32[" floats "]"
//            | "[" [value {"," value}] "]" | "{" [value ":" value {"," ...}] "}"
//   int32    = ["-"] digits                       1, -7
//   int64    = ["-"] digits "L"                    1L, -7L
//   double   = ["-"] digits ("." digits [exp] | exp) | ["-"] "inf" | ["-"] "nan"
//            | "nan(0x" 16 hex digits ")"          1.0, -0.0, 2.5e-07, nan
//   string   = '"' {char | escape} '"'   escapes \" \\ \n \r \t \xHH \u{H..H}
//   call     = (name | string) "(" [value] ")"     setVolume({"volume": 0.5})
//   reply    = "success(" [value] ")" | "error(" value ["," value ["," value]] ")"
//            | "notImplemented" | "unknownStatus(" int32 "," bytes ")"
// Custom values print as "custom" and cannot be parsed.
#ifndef TOVAN_DEVKIT_NOTATION_CHANNEL_NOTATION_H_
#define TOVAN_DEVKIT_NOTATION_CHANNEL_NOTATION_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "channel/encodable_value.h"

namespace tovan::notation {

// Where and why a text could not be read. The position is the offset of the
// offending byte from the start of the text, counted from 0.
struct ParseError {
  size_t position = 0;
  std::string message;
};

// At most this many lists and maps may enclose one another in parsed text,
// so that hostile text cannot exhaust the stack. It lies well above the channel
// decoder's own limit, so that every decoded message can be written back and
// messages beyond the decoder's limit can still be made for its tests.
constexpr int kMaxNestingDepth = 1000;

// Values.
std::string PrintValue(const flutter::EncodableValue& value);
bool ParseValue(std::string_view text, flutter::EncodableValue* out, ParseError* error);

// Method calls: the method name (bare when it is a simple identifier, quoted
// otherwise) and its one argument value, e.g. setVolume({"volume": 0.5}).
// "stopRingtone()" parses with null arguments; printing always writes the value.
std::string PrintCall(const std::string& method, const flutter::EncodableValue& arguments);
bool ParseCall(std::string_view text, std::string* method, flutter::EncodableValue* arguments,
               ParseError* error);

// A reply envelope as it travels on a method channel. The fields hold exactly
// what the wire holds, so malformed replies (an error whose code is not a
// string, an unknown status byte) can be shown and written too.
struct Reply {
  enum class Kind { kSuccess, kError, kNotImplemented, kUnknownStatus };
  Kind kind = Kind::kNotImplemented;
  flutter::EncodableValue value;    // kSuccess: the result.
  flutter::EncodableValue code;     // kError: normally a string.
  flutter::EncodableValue message;  // kError: a string, or null for no message.
  flutter::EncodableValue details;  // kError: null when there are none.
  uint8_t status = 0;               // kUnknownStatus: the status byte.
  std::vector<uint8_t> rest;        // kUnknownStatus: the bytes after it.
};

// success(<value>), error("CODE", "message", <details>), notImplemented for an
// empty reply, unknownStatus(<status>, bytes[...]) for any other status byte.
std::string PrintReply(const uint8_t* data, size_t size);
std::string PrintReply(const Reply& reply);
bool ParseReply(std::string_view text, Reply* out, ParseError* error);
// Reads a reply envelope the way the channel's engine side does; bytes after
// the last value are ignored.
Reply DecodeReply(const uint8_t* data, size_t size);
// Writes the envelope byte for byte as the fields say (a success's value or an
// error's three values through the standard serializer, nothing for
// notImplemented).
std::vector<uint8_t> EncodeReply(const Reply& reply);

// Hexadecimal: upper-case byte pairs separated by single spaces. FromHex
// accepts either case and any whitespace between pairs.
std::string ToHex(const uint8_t* data, size_t size);
bool FromHex(std::string_view text, std::vector<uint8_t>* out, ParseError* error);

// "line L, column C" of a position in a text (both from 1), for messages.
std::string DescribePosition(std::string_view text, size_t position);

}  // namespace tovan::notation

#endif  // TOVAN_DEVKIT_NOTATION_CHANNEL_NOTATION_H_
