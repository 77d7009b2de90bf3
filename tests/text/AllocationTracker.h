// The test program replaces the global operator new and delete: every block
// is recorded while it lives, so a test can count the allocations of a piece
// of code, see which blocks it left behind, catch a block freed twice, and
// make an allocation fail on demand.
#pragma once

#include <cstddef>
#include <vector>

namespace kestrel {
namespace test {

// Counts the allocations made from its construction on, by every thread.
// Read the counts before anything else in the test allocates.
class AllocationWindow {
public:
    AllocationWindow();

    long News() const;
    long Deletes() const;
    // Sizes of the blocks allocated in the window, in order (the last 1024).
    std::vector<std::size_t> Sizes() const;
    // Blocks allocated in the window that are still live.
    long StillLive() const;

private:
    unsigned long long m_sequence;
    long m_deletes;
};

// Size of a live block that operator new returned, or 0 when `block` is not
// the start of one.
std::size_t LiveBlockSize(const void* block);

// Blocks from operator new that are not deleted yet, by every thread.
long LiveBlocks();

// Deletes of a pointer that was not a live block (double frees), since the
// program started. Such a delete is counted and otherwise ignored.
long BadDeletes();

// The nth allocation from now on (0 = the next) throws std::bad_alloc, once.
void FailAllocation(long nth);
// Cancels a failure that has not happened yet; true when it had happened.
bool CancelFailure();

} // namespace test
} // namespace kestrel
