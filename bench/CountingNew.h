// The benchmark program replaces the global operator new and delete to count
// the blocks that each measured operation allocates.
#pragma once

namespace kestrel {
namespace bench {

// Allocations through operator new since the program started, all threads.
long AllocationsSoFar();

} // namespace bench
} // namespace kestrel
