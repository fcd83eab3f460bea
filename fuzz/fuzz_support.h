// Shared by the fuzz targets: encoding and decoding one value, the check
// that a decoded value survives re-encoding, and quiet decoder diagnostics.
// Test tool only; runs on the fuzzer's one thread.
#ifndef TOVAN_FUZZ_FUZZ_SUPPORT_H_
#define TOVAN_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "channel/encodable_value.h"

namespace tovan::fuzz {

// The channel layer reports malformed input on std::cerr, a line per failed
// read; fuzzing produces millions. Only that stream is silenced: libFuzzer
// and the sanitizers write to the C stderr and stay visible.
void SilenceChannelDiagnostics();

std::vector<uint8_t> EncodeValue(const flutter::EncodableValue& value);
flutter::EncodableValue DecodeValue(const std::vector<uint8_t>& bytes);

// True when some map key, at any depth, holds a NaN. Such a key is
// equivalent to every double it is compared with, so the ordering is no
// longer strict: rebuilding the map (from the wire or from the notation) may
// merge it with another key or refuse it as a duplicate.
bool MapKeyHoldsNan(const flutter::EncodableValue& value);

// True when the wire format itself cannot give the value back, which is kept
// for compatibility with the engine's side: an empty int32, int64, double or
// float list is written without padding but read with alignment, so it may
// swallow the bytes behind it; and a map key holding a NaN (see above).
bool FormatCannotRoundTrip(const flutter::EncodableValue& value);

// Aborts, printing both values in the typed notation, unless `again` is
// equivalent to `original` under the value ordering and encodes to the same
// bytes (which also compares doubles bit for bit).
void CheckSameValue(const flutter::EncodableValue& original, const flutter::EncodableValue& again,
                    const char* what);

}  // namespace tovan::fuzz

#endif  // TOVAN_FUZZ_FUZZ_SUPPORT_H_
