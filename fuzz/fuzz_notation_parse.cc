// libFuzzer target: the typed notation's parsers on arbitrary text, as a
// script or a console would hand them. Nothing may crash or recurse without
// bound; whatever parses prints as text that parses to the same thing, unless
// a map key holds a NaN.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "devkit/notation/channel_notation.h"
#include "fuzz/fuzz_support.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", what, text.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tovan::fuzz::SilenceChannelDiagnostics();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace notation = tovan::notation;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  notation::ParseError error;

  flutter::EncodableValue value;
  if (notation::ParseValue(text, &value, &error)) {
    const std::string printed = notation::PrintValue(value);
    flutter::EncodableValue again;
    const bool parses = notation::ParseValue(printed, &again, &error);
    if (!tovan::fuzz::MapKeyHoldsNan(value)) {
      if (!parses) Fail("printed value does not parse", printed);
      tovan::fuzz::CheckSameValue(value, again, "printing and parsing a value");
    }
  } else if (error.position > size) {
    Fail("error position past the end", std::string(text));
  }

  std::string method;
  flutter::EncodableValue arguments;
  if (notation::ParseCall(text, &method, &arguments, &error)) {
    const std::string printed = notation::PrintCall(method, arguments);
    std::string method_again;
    flutter::EncodableValue arguments_again;
    const bool parses = notation::ParseCall(printed, &method_again, &arguments_again, &error);
    if (!tovan::fuzz::MapKeyHoldsNan(arguments)) {
      if (!parses || method_again != method) {
        Fail("printed call does not parse to the same name", printed);
      }
      tovan::fuzz::CheckSameValue(arguments, arguments_again, "printing and parsing a call");
    }
  }

  notation::Reply reply;
  if (notation::ParseReply(text, &reply, &error)) {
    const std::vector<uint8_t> bytes = notation::EncodeReply(reply);
    const std::string printed = notation::PrintReply(reply);
    notation::Reply again;
    const bool parses = notation::ParseReply(printed, &again, &error);
    const bool nan_key = tovan::fuzz::MapKeyHoldsNan(reply.value) ||
                         tovan::fuzz::MapKeyHoldsNan(reply.code) ||
                         tovan::fuzz::MapKeyHoldsNan(reply.message) ||
                         tovan::fuzz::MapKeyHoldsNan(reply.details);
    if (!nan_key && (!parses || notation::EncodeReply(again) != bytes)) {
      Fail("printed reply does not write the same bytes", printed);
    }
  }

  std::vector<uint8_t> bytes;
  if (notation::FromHex(text, &bytes, &error)) {
    std::vector<uint8_t> again;
    if (!notation::FromHex(notation::ToHex(bytes.data(), bytes.size()), &again, &error) ||
        again != bytes) {
      Fail("hexadecimal does not read back", std::string(text));
    }
  }
  return 0;
}
