// The global operator new and delete, handed to AllocateBlock and FreeBlock;
// the other forms (arrays, nothrow) call these unless replaced themselves.
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
