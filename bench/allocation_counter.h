// Counts the calls of the global operator new made by this program, which
// replaces it (bench/allocation_counter.cc). Benchmark tool only: link it
// into one benchmark program, never into a library or the product.
#ifndef TOVAN_BENCH_ALLOCATION_COUNTER_H_
#define TOVAN_BENCH_ALLOCATION_COUNTER_H_

#include <cstdint>

namespace tovan::bench {

// Allocations through any form of the global operator new since the start.
uint64_t AllocationCount();

}  // namespace tovan::bench

#endif  // TOVAN_BENCH_ALLOCATION_COUNTER_H_
