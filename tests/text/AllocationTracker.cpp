// The tracker's own bookkeeping allocates with malloc, never with operator
// new, so recording a block cannot recurse. Its state is built on first use
// (static initialisers allocate before main) and never destroyed, because
// blocks are still deleted after every static destructor has run.
#include "tests/text/AllocationTracker.h"

#include "tests/support/GlobalNew.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <utility>

namespace kestrel {
namespace test {
namespace {

template <typename T> struct MallocAllocator {
    using value_type = T;
    MallocAllocator() = default;
    template <typename U> MallocAllocator(const MallocAllocator<U>&) {}
    T* allocate(std::size_t n) {
        if (void* p = std::malloc(n * sizeof(T))) {
            return static_cast<T*>(p);
        }
        std::abort();
    }
    void deallocate(T* p, std::size_t) { std::free(p); }
};

struct BlockInfo {
    std::size_t size;
    unsigned long long sequence;
};

constexpr std::size_t kRecentSizes = 1024;

struct Tracker {
    std::mutex mutex;
    std::map<const void*, BlockInfo, std::less<const void*>,
             MallocAllocator<std::pair<const void* const, BlockInfo>>>
        live;
    unsigned long long sequence = 0; // allocations so far
    long deletes = 0;
    long badDeletes = 0;
    long failCountdown = -1;
    bool failed = false;
    std::size_t recentSizes[kRecentSizes] = {};
};

Tracker& State() {
    alignas(Tracker) static unsigned char storage[sizeof(Tracker)];
    static Tracker* tracker = new (storage) Tracker();
    return *tracker;
}

// Runs f on the tracker under its lock.
template <typename F> auto Locked(F f) {
    std::lock_guard<std::mutex> lock(State().mutex);
    return f(State());
}

void* Allocate(std::size_t size) {
    return Locked([size](Tracker& t) {
        if (t.failCountdown >= 0 && t.failCountdown-- == 0) {
            t.failed = true;
            throw std::bad_alloc();
        }
        void* block = std::malloc(size == 0 ? 1 : size);
        if (block == nullptr) {
            throw std::bad_alloc();
        }
        t.live[block] = BlockInfo{size, t.sequence};
        t.recentSizes[t.sequence++ % kRecentSizes] = size;
        return block;
    });
}

void Free(void* block) {
    Locked([block](Tracker& t) {
        const auto it = t.live.find(block);
        if (it == t.live.end()) {
            t.badDeletes += block != nullptr ? 1 : 0; // freeing it again would corrupt the heap
            return;
        }
        std::memset(block, 0xDD, it->second.size); // reading it afterwards reads garbage
        std::free(block);
        t.live.erase(it);
        ++t.deletes;
    });
}

} // namespace

AllocationWindow::AllocationWindow()
    : m_sequence(Locked([](Tracker& t) { return t.sequence; })),
      m_deletes(Locked([](Tracker& t) { return t.deletes; })) {
}

long AllocationWindow::News() const {
    return Locked([this](Tracker& t) { return static_cast<long>(t.sequence - m_sequence); });
}

long AllocationWindow::Deletes() const {
    return Locked([this](Tracker& t) { return t.deletes - m_deletes; });
}

std::vector<std::size_t> AllocationWindow::Sizes() const {
    std::size_t recent[kRecentSizes];
    std::size_t count = 0;
    Locked([&](Tracker& t) {
        const unsigned long long oldest = t.sequence < kRecentSizes ? 0 : t.sequence - kRecentSizes;
        for (auto s = std::max(m_sequence, oldest); s < t.sequence; ++s) {
            recent[count++] = t.recentSizes[s % kRecentSizes];
        }
    });
    return std::vector<std::size_t>(recent, recent + count);
}

long AllocationWindow::StillLive() const {
    return Locked([this](Tracker& t) {
        return static_cast<long>(std::count_if(t.live.begin(), t.live.end(), [this](const auto& e) {
            return e.second.sequence >= m_sequence;
        }));
    });
}

std::size_t LiveBlockSize(const void* block) {
    return Locked([block](Tracker& t) {
        return t.live.count(block) != 0 ? t.live.find(block)->second.size : 0;
    });
}

long LiveBlocks() {
    return Locked([](Tracker& t) { return static_cast<long>(t.live.size()); });
}

long BadDeletes() {
    return Locked([](Tracker& t) { return t.badDeletes; });
}

void FailAllocation(long nth) {
    Locked([nth](Tracker& t) {
        t.failCountdown = nth;
        t.failed = false;
    });
}

bool CancelFailure() {
    return Locked([](Tracker& t) {
        t.failCountdown = -1;
        return std::exchange(t.failed, false);
    });
}

} // namespace test
} // namespace kestrel

// The test program's global operator new and delete (tests/support/GlobalNew.cpp).
void* kestrel::AllocateBlock(std::size_t size) {
    return test::Allocate(size);
}
void kestrel::FreeBlock(void* block) noexcept {
    test::Free(block);
}
