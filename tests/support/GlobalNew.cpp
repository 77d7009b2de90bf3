// The replaceable global operator new and delete, handed to AllocateBlock and
// FreeBlock. The other forms (arrays, nothrow) call these unless a program
// replaces them as well.
#include "tests/support/GlobalNew.h"

#include <new>

void* operator new(std::size_t size) {
    return kestrel::AllocateBlock(size);
}
void operator delete(void* block) noexcept {
    kestrel::FreeBlock(block);
}
void operator delete(void* block, std::size_t) noexcept {
    kestrel::FreeBlock(block);
}
