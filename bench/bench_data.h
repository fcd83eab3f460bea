// The data sets of the channel codec benchmarks, built at run time so that
// the compiler cannot fold them: the audio plugin's device list, a map-heavy
// tree and the bulk lists. Benchmark tool only; single-threaded.
#ifndef TOVAN_BENCH_BENCH_DATA_H_
#define TOVAN_BENCH_BENCH_DATA_H_

#include <cstddef>

#include "channel/encodable_value.h"

namespace tovan::bench {

// The reply value of "getSystemAudioDevices" with `count` endpoints: a list
// of maps {"id": string, "name": string, "isDefault": bool}.
flutter::EncodableValue MakeDeviceList(int count);

// A tree of maps with strings, int32s, int64s, doubles, bools and nested
// lists, with at least `nodes` values (keys included).
flutter::EncodableValue MakeTree(size_t nodes);

flutter::EncodableValue MakeDoubleList(size_t count);
flutter::EncodableValue MakeByteList(size_t count);

// The number of values in `value`, itself and map keys included.
size_t CountNodes(const flutter::EncodableValue& value);

}  // namespace tovan::bench

#endif  // TOVAN_BENCH_BENCH_DATA_H_
