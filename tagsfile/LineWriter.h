// Writes lines to a file through one buffer, asking a disk guard now and then
// whether there is still room.
#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

#include "tagupdate/DiskGuard.h"

namespace kestrel {

class LineWriter {
public:
    enum class Wrote { Ok, Failed, NoRoom };

    // Writes to `file` from its current position; the handle stays the
    // caller's. A null guard guards nothing.
    LineWriter(HANDLE file, DiskGuard* guard);

    // Failed leaves WriteFile's error in GetLastError.
    Wrote Write(std::string_view bytes);
    // Writes what the buffer holds.
    Wrote Flush();

private:
    HANDLE m_file;
    DiskGuard* m_guard;
    std::vector<char> m_buffer;
    size_t m_used = 0;
};

} // namespace kestrel
