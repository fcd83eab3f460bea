// libFuzzer target: decoding one value of the standard message codec from
// arbitrary bytes. Every input must decode without a crash, a leak or
// unbounded work; what it decodes to must survive re-encoding, and its typed
// notation must read back to the same value, unless a map key holds a NaN.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "channel/byte_buffer_streams.h"
#include "channel/standard_codec_serializer.h"
#include "devkit/notation/channel_notation.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tovan::fuzz::SilenceChannelDiagnostics();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  flutter::ByteBufferStreamReader reader(data, size);
  const flutter::EncodableValue value =
      flutter::StandardCodecSerializer::GetInstance().ReadTaggedValue(&reader);

  // Copying and comparing recurse through the whole value, as every user of
  // a decoded value may.
  const flutter::EncodableValue copy = value;
  if (value < copy || copy < value) {
    std::fprintf(stderr, "a copy compares unequal to its source\n");
    std::abort();
  }

  if (!tovan::fuzz::FormatCannotRoundTrip(value)) {
    tovan::fuzz::CheckSameValue(value, tovan::fuzz::DecodeValue(tovan::fuzz::EncodeValue(value)),
                                "re-encoding");
  }

  // A map key holding a NaN need not read back (see MapKeyHoldsNan); its
  // text must still print and parse without harm.
  const std::string text = tovan::notation::PrintValue(value);
  flutter::EncodableValue parsed;
  tovan::notation::ParseError error;
  const bool parses = tovan::notation::ParseValue(text, &parsed, &error);
  if (tovan::fuzz::MapKeyHoldsNan(value)) return 0;
  if (!parses) {
    std::fprintf(stderr, "printed notation does not parse at %zu (%s): %s\n", error.position,
                 error.message.c_str(), text.c_str());
    std::abort();
  }
  tovan::fuzz::CheckSameValue(value, parsed, "printing and parsing the notation");
  return 0;
}
