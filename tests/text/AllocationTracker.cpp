// The tracker's own bookkeeping allocates with malloc, never with operator
// new, so recording a block cannot recurse. Its state is built on first use
// (static initialisers allocate before main) and never destroyed, because
// blocks are still deleted after every static destructor has run.
#include "tests/text/AllocationTracker.h"

#include "tests/support/GlobalNew.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

namespace kestrel {
namespace test {
namespace {

template <typename T> struct MallocAllocator {
    using value_type = T;
    MallocAllocator() = default;
    template <typename U> MallocAllocator(const MallocAllocator<U>&) {}
    T* allocate(std::size_t n) {
        void* p = std::malloc(n * sizeof(T));
        if (p == nullptr) {
            std::abort();
        }
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) { std::free(p); }
    template <typename U> bool operator==(const MallocAllocator<U>&) const { return true; }
    template <typename U> bool operator!=(const MallocAllocator<U>&) const { return false; }
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

void* Allocate(std::size_t size) {
    Tracker& t = State();
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        if (t.failCountdown == 0) {
            t.failCountdown = -1;
            t.failed = true;
            throw std::bad_alloc();
        }
        if (t.failCountdown > 0) {
            --t.failCountdown;
        }
    }
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    std::lock_guard<std::mutex> lock(t.mutex);
    t.live[block] = BlockInfo{size, t.sequence};
    t.recentSizes[t.sequence % kRecentSizes] = size;
    ++t.sequence;
    return block;
}

void Free(void* block) {
    if (block == nullptr) {
        return;
    }
    Tracker& t = State();
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        auto it = t.live.find(block);
        if (it == t.live.end()) {
            ++t.badDeletes; // freeing it again would corrupt the heap
            return;
        }
        std::memset(block, 0xDD, it->second.size); // reading it afterwards reads garbage
        t.live.erase(it);
        ++t.deletes;
    }
    std::free(block);
}

} // namespace

AllocationWindow::AllocationWindow() {
    Tracker& t = State();
    std::lock_guard<std::mutex> lock(t.mutex);
    m_sequence = t.sequence;
    m_news = static_cast<long>(t.sequence);
    m_deletes = t.deletes;
}

long AllocationWindow::News() const {
    Tracker& t = State();
    std::lock_guard<std::mutex> lock(t.mutex);
    return static_cast<long>(t.sequence) - m_news;
}

long AllocationWindow::Deletes() const {
    Tracker& t = State();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.deletes - m_deletes;
}

std::vector<std::size_t> AllocationWindow::Sizes() const {
    Tracker& t = State();
    std::size_t recent[kRecentSizes];
    std::size_t count = 0;
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        unsigned long long first = m_sequence;
        if (t.sequence - first > kRecentSizes) {
            first = t.sequence - kRecentSizes;
        }
        for (unsigned long long s = first; s < t.sequence; ++s) {
            recent[count++] = t.recentSizes[s % kRecentSizes];
        }
    }
    return std::vector<std::size_t>(recent, recent + count);
}

long AllocationWindow::StillLive() const {
    Tracker& t = State();
    std::lock_guard<std::mutex> lock(t.mutex);
    long count = 0;
    for (const auto& entry : t.live) {
        if (entry.second.sequence >= m_sequence) {
            ++count;
        }
    }
    return count;
}

std::size_t LiveBlockSize(const void* block) {
    Tracker& t = State();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.live.find(block);
    return it == t.live.end() ? 0 : it->second.size;
}

long LiveBlocks() {
    Tracker& t = State();
    std::lock_guard<std::mutex> lock(t.mutex);
    return static_cast<long>(t.live.size());
}

long BadDeletes() {
    Tracker& t = State();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.badDeletes;
}

void FailAllocation(long nth) {
    Tracker& t = State();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.failCountdown = nth;
    t.failed = false;
}

bool CancelFailure() {
    Tracker& t = State();
    std::lock_guard<std::mutex> lock(t.mutex);
    const bool failed = t.failed;
    t.failCountdown = -1;
    t.failed = false;
    return failed;
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
