// The benchmark counts allocations with one relaxed atomic add and keeps no
// record of the blocks: the tests' tracker (a map under a mutex) would cost
// more than the string operations it measures, and std::string the most.
#include "bench/CountingNew.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/support/GlobalNew.h"

namespace kestrel {
namespace bench {
namespace {

std::atomic<long>& Allocations() {
    static std::atomic<long> allocations{0};
    return allocations;
}

} // namespace

long AllocationsSoFar() {
    return Allocations().load();
}

} // namespace bench

void* AllocateBlock(std::size_t size) {
    bench::Allocations().fetch_add(1, std::memory_order_relaxed);
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void FreeBlock(void* block) noexcept {
    std::free(block);
}

} // namespace kestrel
