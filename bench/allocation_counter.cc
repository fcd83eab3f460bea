#include "bench/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

// The replacements count and then allocate with malloc, as the standard
// library's own operator new does; the array and nothrow forms of the
// library call these. Storage from malloc goes back with free.
namespace {

std::atomic<uint64_t> allocations{0};

void* CountedAllocate(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

void* operator new(std::size_t size) {
  if (void* memory = CountedAllocate(size)) return memory;
  throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return operator new(size); }

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return CountedAllocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return CountedAllocate(size);
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace tovan::bench {

uint64_t AllocationCount() { return allocations.load(std::memory_order_relaxed); }

}  // namespace tovan::bench
