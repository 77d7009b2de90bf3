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

    // Reads the free space: false once it has fallen below what the run
    // must leave. Allocates nothing.
    bool HasRoom();

    // How long the run's wait may last before the next reading: at most
    // kDiskGuardMs, less as the free space falls fast or nears the floor.
    DWORD NextReadingMs() const { return m_nextMs; }

private:
    bool ReadFree(ULONGLONG& free) const;

    std::wstring m_folder;
    bool m_guarded = false;
    ULONGLONG m_floor = 0;
    // The last reading, and the fastest fall seen lately, in bytes a
    // millisecond.
    ULONGLONG m_lastFree = 0;
    DWORD m_lastReadAt = 0;
    ULONGLONG m_fall = 0;
    DWORD m_nextMs = kDiskGuardMs;
};

} // namespace kestrel
