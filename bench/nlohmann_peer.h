// The nlohmann::json peer of the codec benchmarks: the same logical data in a
// value model like ours (objects are ordered std::maps, strings
// std::strings, arrays std::vectors), written and read through the library's
// MessagePack writer and reader. Maps become objects (string keys only, as in
// every data set here), byte lists binary values, and typed lists arrays of
// numbers. Benchmark tool only.
#ifndef TOVAN_BENCH_NLOHMANN_PEER_H_
#define TOVAN_BENCH_NLOHMANN_PEER_H_

#include <nlohmann/json.hpp>

#include "channel/encodable_value.h"

namespace tovan::bench {

// The json value for `value`. Maps with keys other than strings, and custom
// values, have no json counterpart; they become null.
nlohmann::json ToJson(const flutter::EncodableValue& value);

}  // namespace tovan::bench

#endif  // TOVAN_BENCH_NLOHMANN_PEER_H_
