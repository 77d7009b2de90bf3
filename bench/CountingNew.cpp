#include "bench/CountingNew.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace kestrel {
namespace bench {
namespace {

std::atomic<long>& Allocations() {
    static std::atomic<long> allocations{0};
    return allocations;
}

void* Allocate(std::size_t size) {
    Allocations().fetch_add(1, std::memory_order_relaxed);
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

} // namespace

long AllocationsSoFar() {
    return Allocations().load();
}

} // namespace bench
} // namespace kestrel

void* operator new(std::size_t size) {
    return kestrel::bench::Allocate(size);
}
void* operator new[](std::size_t size) {
    return kestrel::bench::Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return kestrel::bench::Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return ::operator new(size, std::nothrow);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
