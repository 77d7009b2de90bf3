// Every form of the replaceable global allocation functions, each handed to
// AllocateBlock or FreeBlock.
#include "tests/support/GlobalNew.h"

#include <new>

void* operator new(std::size_t size) {
    return kestrel::AllocateBlock(size);
}
void* operator new[](std::size_t size) {
    return kestrel::AllocateBlock(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return kestrel::AllocateBlock(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return ::operator new(size, std::nothrow);
}
void operator delete(void* block) noexcept {
    kestrel::FreeBlock(block);
}
void operator delete[](void* block) noexcept {
    kestrel::FreeBlock(block);
}
void operator delete(void* block, std::size_t) noexcept {
    kestrel::FreeBlock(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    kestrel::FreeBlock(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    kestrel::FreeBlock(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    kestrel::FreeBlock(block);
}
