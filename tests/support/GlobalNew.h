// A program that compiles GlobalNew.cpp replaces the global operator new and
// delete in every form with these two, which it defines itself.
#pragma once

#include <cstddef>

namespace kestrel {

// Returns a block of at least `size` bytes or throws std::bad_alloc.
void* AllocateBlock(std::size_t size);
// Gives back a block from AllocateBlock; null does nothing.
void FreeBlock(void* block) noexcept;

} // namespace kestrel
