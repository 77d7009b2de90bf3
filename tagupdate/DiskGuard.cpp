// ctags writes until it is done or the disk is full, and a run that has run
// away (a generated file of millions of lines, a link loop) is only done when
// the disk is full: the editor could not save a document then, nor could
// any other program write. So the free space is read before ctags starts
// and while it runs, and ctags is stopped before it takes what it must
// leave: the lower of 512 MB and half of what was free at its start, so that
// a run on a disk with little but enough room still goes on.
#include "tagupdate/DiskGuard.h"

#include "tagupdate/Paths.h"

namespace kestrel {
namespace {

constexpr ULONGLONG kMostKept = 512ull << 20;

} // namespace

DiskGuard::DiskGuard(const CountedString& folder) : m_folder(LongFormOf(folder)) {
    if (!m_folder.empty() && m_folder.back() != L'\\') {
        m_folder += L'\\'; // a share's root is named with one
    }
}

bool DiskGuard::ReadFree(ULONGLONG& free) const {
    ULARGE_INTEGER available = {};
    if (m_folder.empty() || !GetDiskFreeSpaceExW(m_folder.c_str(), &available, nullptr, nullptr)) {
        return false;
    }
    free = available.QuadPart;
    return true;
}

void DiskGuard::Start() {
    ULONGLONG free = 0;
    m_guarded = ReadFree(free);
    m_floor = free / 2 < kMostKept ? free / 2 : kMostKept;
}

bool DiskGuard::HasRoom() const {
    ULONGLONG free = 0;
    // A volume that stops answering now and then is not counted full.
    return !m_guarded || !ReadFree(free) || free >= m_floor;
}

} // namespace kestrel
