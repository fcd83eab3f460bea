// Method calls and reply envelopes in the typed notation, and the reply
// envelope's bytes exactly as the fields say.
#include <utility>

#include "channel/byte_buffer_streams.h"
#include "channel/standard_codec_serializer.h"
#include "devkit/notation/channel_notation.h"
#include "devkit/notation/notation_text.h"

namespace tovan::notation {
namespace {

constexpr uint8_t kSuccessStatus = 0;
constexpr uint8_t kErrorStatus = 1;

// "(" [value] ")" after a call's name or a reply's keyword; an empty pair of
// parentheses stands for null.
bool ParseParenthesisedValue(internal::Cursor* cursor, flutter::EncodableValue* out) {
  if (!cursor->Expect('(', "(")) return false;
  if (cursor->Accept(')')) {
    *out = flutter::EncodableValue();
    return true;
  }
  return internal::ParseValueAt(cursor, out, 0) && cursor->Expect(')', ")");
}

bool Fail(const internal::Cursor& cursor, ParseError* error) {
  *error = cursor.error();
  return false;
}

}  // namespace

std::string PrintCall(const std::string& method, const flutter::EncodableValue& arguments) {
  std::string text;
  if (internal::IsBareName(method)) {
    text = method;
  } else {
    internal::AppendQuoted(&text, method);
  }
  text += '(';
  internal::AppendValue(&text, arguments);
  text += ')';
  return text;
}

bool ParseCall(std::string_view text, std::string* method, flutter::EncodableValue* arguments,
               ParseError* error) {
  internal::Cursor cursor(text);
  cursor.SkipSpace();
  std::string name;
  if (cursor.Peek() == '"') {
    if (!internal::ParseQuotedAt(&cursor, &name)) return Fail(cursor, error);
  } else {
    const size_t start = cursor.position();
    // Dots belong to the name ("Clipboard.setData"), as IsBareName says.
    while (internal::IsWordChar(cursor.Peek()) || (cursor.Peek() == '.' && !cursor.AtEnd())) {
      cursor.Advance();
    }
    name = std::string(text.substr(start, cursor.position() - start));
    if (!internal::IsBareName(name)) {
      cursor.Fail(start, "expected a method name: a name such as setVolume, or a quoted string");
      return Fail(cursor, error);
    }
  }
  flutter::EncodableValue value;
  if (!ParseParenthesisedValue(&cursor, &value) || !cursor.ExpectEnd()) return Fail(cursor, error);
  *method = std::move(name);
  *arguments = std::move(value);
  return true;
}

Reply DecodeReply(const uint8_t* data, size_t size) {
  Reply reply;
  if (size == 0) {
    reply.kind = Reply::Kind::kNotImplemented;
    return reply;
  }
  // Alignment inside a reply counts from its status byte, so the reader
  // starts there.
  flutter::ByteBufferStreamReader reader(data, size);
  const uint8_t status = reader.TakeByte();
  const flutter::StandardCodecSerializer& serializer =
      flutter::StandardCodecSerializer::GetInstance();
  if (status == kSuccessStatus) {
    reply.kind = Reply::Kind::kSuccess;
    reply.value = serializer.ReadTaggedValue(&reader);
  } else if (status == kErrorStatus) {
    reply.kind = Reply::Kind::kError;
    reply.code = serializer.ReadTaggedValue(&reader);
    reply.message = serializer.ReadTaggedValue(&reader);
    reply.details = serializer.ReadTaggedValue(&reader);
  } else {
    reply.kind = Reply::Kind::kUnknownStatus;
    reply.status = status;
    reply.rest.assign(data + 1, data + size);
  }
  return reply;
}

std::vector<uint8_t> EncodeReply(const Reply& reply) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  const flutter::StandardCodecSerializer& serializer =
      flutter::StandardCodecSerializer::GetInstance();
  switch (reply.kind) {
    case Reply::Kind::kSuccess:
      writer.PutByte(kSuccessStatus);
      serializer.WriteValue(reply.value, &writer);
      break;
    case Reply::Kind::kError:
      writer.PutByte(kErrorStatus);
      serializer.WriteValue(reply.code, &writer);
      serializer.WriteValue(reply.message, &writer);
      serializer.WriteValue(reply.details, &writer);
      break;
    case Reply::Kind::kNotImplemented:
      break;
    case Reply::Kind::kUnknownStatus:
      writer.PutByte(reply.status);
      if (!reply.rest.empty()) writer.PutBytes(reply.rest.data(), reply.rest.size());
      break;
  }
  return bytes;
}

std::string PrintReply(const Reply& reply) {
  std::string text;
  switch (reply.kind) {
    case Reply::Kind::kSuccess:
      text = "success(";
      internal::AppendValue(&text, reply.value);
      text += ')';
      break;
    case Reply::Kind::kError:
      text = "error(";
      internal::AppendValue(&text, reply.code);
      text += ", ";
      internal::AppendValue(&text, reply.message);
      text += ", ";
      internal::AppendValue(&text, reply.details);
      text += ')';
      break;
    case Reply::Kind::kNotImplemented:
      text = "notImplemented";
      break;
    case Reply::Kind::kUnknownStatus:
      text = "unknownStatus(" + std::to_string(reply.status) + ", ";
      internal::AppendValue(&text, flutter::EncodableValue(reply.rest));
      text += ')';
      break;
  }
  return text;
}

std::string PrintReply(const uint8_t* data, size_t size) {
  return PrintReply(DecodeReply(data, size));
}

bool ParseReply(std::string_view text, Reply* out, ParseError* error) {
  internal::Cursor cursor(text);
  cursor.SkipSpace();
  const size_t start = cursor.position();
  const std::string_view word = cursor.TakeWord();
  Reply reply;
  if (word == "success") {
    reply.kind = Reply::Kind::kSuccess;
    if (!ParseParenthesisedValue(&cursor, &reply.value)) return Fail(cursor, error);
  } else if (word == "error") {
    // error("CODE"), error("CODE", "message") and error("CODE", "message",
    // details): what is left out is null, as the codec writes it.
    reply.kind = Reply::Kind::kError;
    if (!cursor.Expect('(', "(") || !internal::ParseValueAt(&cursor, &reply.code, 0)) {
      return Fail(cursor, error);
    }
    if (cursor.Accept(',') &&
        (!internal::ParseValueAt(&cursor, &reply.message, 0) ||
         (cursor.Accept(',') && !internal::ParseValueAt(&cursor, &reply.details, 0)))) {
      return Fail(cursor, error);
    }
    if (!cursor.Expect(')', ", or )")) return Fail(cursor, error);
  } else if (word == "notImplemented") {
    reply.kind = Reply::Kind::kNotImplemented;
  } else if (word == "unknownStatus") {
    reply.kind = Reply::Kind::kUnknownStatus;
    flutter::EncodableValue status;
    flutter::EncodableValue rest;
    if (!cursor.Expect('(', "(")) return Fail(cursor, error);
    cursor.SkipSpace();
    const size_t status_position = cursor.position();
    if (!internal::ParseValueAt(&cursor, &status, 0)) return Fail(cursor, error);
    const int32_t* status_number = status.TryGet<int32_t>();
    if (status_number == nullptr || *status_number < 2 || *status_number > 255) {
      cursor.Fail(status_position, "expected a status from 2 to 255");
      return Fail(cursor, error);
    }
    reply.status = static_cast<uint8_t>(*status_number);
    if (cursor.Accept(',')) {
      cursor.SkipSpace();
      const size_t rest_position = cursor.position();
      if (!internal::ParseValueAt(&cursor, &rest, 0)) return Fail(cursor, error);
      const std::vector<uint8_t>* bytes = rest.TryGet<std::vector<uint8_t>>();
      if (bytes == nullptr) {
        cursor.Fail(rest_position, "expected the bytes after the status as bytes[...]");
        return Fail(cursor, error);
      }
      reply.rest = *bytes;
    }
    if (!cursor.Expect(')', ", or )")) return Fail(cursor, error);
  } else {
    cursor.Fail(start, "expected success(...), error(...), notImplemented or unknownStatus(...)");
    return Fail(cursor, error);
  }
  if (!cursor.ExpectEnd()) return Fail(cursor, error);
  *out = std::move(reply);
  return true;
}

}  // namespace tovan::notation
