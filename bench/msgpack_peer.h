// The msgpack-cxx peer of the codec benchmarks: the same logical data as
// msgpack's own dynamic object (msgpack::object in a zone). Lists become
// arrays, maps maps, strings str, byte lists bin, and typed lists arrays of
// numbers, since msgpack has no typed arrays. Benchmark tool only.
#ifndef TOVAN_BENCH_MSGPACK_PEER_H_
#define TOVAN_BENCH_MSGPACK_PEER_H_

#include <msgpack.hpp>

#include "channel/encodable_value.h"

namespace tovan::bench {

// The msgpack object for `value`; its storage lives in `zone`.
msgpack::object ToMsgpack(const flutter::EncodableValue& value, msgpack::zone& zone);

}  // namespace tovan::bench

#endif  // TOVAN_BENCH_MSGPACK_PEER_H_
