// Owners of the shell's allocator and of the item lists it hands out.
#pragma once

#include <windows.h>
#include <shlobj.h>

namespace kestrel {

// The shell's IMalloc, released when the owner goes.
class ShellAllocator {
public:
    ShellAllocator() noexcept {
        if (FAILED(SHGetMalloc(&m_malloc))) {
            m_malloc = nullptr;
        }
    }
    ShellAllocator(const ShellAllocator&) = delete;
    ShellAllocator& operator=(const ShellAllocator&) = delete;
    ~ShellAllocator() {
        if (m_malloc != nullptr) {
            m_malloc->Release();
        }
    }

    explicit operator bool() const noexcept { return m_malloc != nullptr; }
    IMalloc* Get() const noexcept { return m_malloc; }

private:
    IMalloc* m_malloc = nullptr;
};

// An item list, freed with the allocator that must outlive it.
class ItemIdList {
public:
    ItemIdList(PIDLIST_ABSOLUTE list, const ShellAllocator& allocator) noexcept
        : m_list(list), m_allocator(allocator) {}
    ItemIdList(const ItemIdList&) = delete;
    ItemIdList& operator=(const ItemIdList&) = delete;
    ~ItemIdList() {
        if (m_list != nullptr) {
            m_allocator.Get()->Free(m_list);
        }
    }

    explicit operator bool() const noexcept { return m_list != nullptr; }
    PCIDLIST_ABSOLUTE Get() const noexcept { return m_list; }

private:
    PIDLIST_ABSOLUTE m_list;
    const ShellAllocator& m_allocator;
};

} // namespace kestrel
