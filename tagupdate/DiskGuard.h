// Keeps a ctags that runs away from filling the disk of its tags file.
#pragma once

#include <windows.h>

#include <string>

#include "text/CountedString.h"

namespace kestrel {

// How often a run's waits ask the guard at least.
constexpr DWORD kDiskGuardMs = 500;

class DiskGuard {
public:
    DiskGuard() = default; // guards nothing
    // For the volume that holds `folder`, at any path length.
    explicit DiskGuard(const CountedString& folder);

    // Reads the free space before ctags starts. The run may use all but the
    // lower of 512 MB and half of it; where it cannot be read, it is not
    // guarded.
    void Start();

    // False once the free space has fallen below what the run must leave.
    // Allocates nothing.
    bool HasRoom() const;

private:
    bool ReadFree(ULONGLONG& free) const;

    std::wstring m_folder;
    bool m_guarded = false;
    ULONGLONG m_floor = 0;
};

} // namespace kestrel
