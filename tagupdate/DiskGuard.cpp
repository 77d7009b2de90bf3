// ctags writes until it is done or the disk is full, and a run that has run
// away (a generated file of millions of lines, a link loop) is only done when
// the disk is full: the editor could not save a document then, nor could
// any other program write. So the free space is read before ctags starts
// and while it runs, and ctags is stopped before it takes what it must
// leave: the lower of 512 MB and half of what was free at its start, so that
// a run on a disk with little but enough room still goes on.
//
// A fast writer on a small volume crosses that floor between two readings
// half a second apart. So the first reading comes right after ctags has
// been let go, the next ones soon after, and then as the fall seen needs:
// the next reading comes within half the time that the fastest recent fall
// would take to reach the floor, never sooner than kSoonestMs (no busy
// loop) and never later than kDiskGuardMs. Between readings the gap grows at
// most twofold, so a writer that speeds up is seen in time. A writer faster
// than that (the floor crossed within kSoonestMs, or a burst after a long
// calm) can still cross the floor before it is seen.
#include "tagupdate/DiskGuard.h"

#include "tagupdate/Paths.h"

namespace kestrel {
namespace {

constexpr ULONGLONG kMostKept = 512ull << 20;
constexpr DWORD kSoonestMs = 10;

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
    m_lastReadAt = GetTickCount();
    m_guarded = ReadFree(free);
    m_floor = free / 2 < kMostKept ? free / 2 : kMostKept;
    m_lastFree = free;
    m_nextMs = m_guarded ? kSoonestMs / 2 : kDiskGuardMs;
}

bool DiskGuard::HasRoom() {
    ULONGLONG free = 0;
    const DWORD now = GetTickCount();
    const DWORD latest = 2 * m_nextMs < kDiskGuardMs ? 2 * m_nextMs : kDiskGuardMs;
    // A volume that stops answering now and then is not counted full.
    if (!m_guarded || !ReadFree(free)) {
        m_nextMs = latest;
        return true;
    }
    if (free < m_floor) {
        return false;
    }
    const DWORD passed = now - m_lastReadAt > 0 ? now - m_lastReadAt : 1;
    const ULONGLONG fall = free < m_lastFree ? (m_lastFree - free) / passed : 0;
    m_fall = fall > m_fall / 2 ? fall : m_fall / 2;
    m_lastFree = free;
    m_lastReadAt = now;
    const ULONGLONG half = m_fall > 0 ? (free - m_floor) / m_fall / 2 : latest;
    m_nextMs = half > latest ? latest : half < kSoonestMs ? kSoonestMs : static_cast<DWORD>(half);
    return true;
}

} // namespace kestrel
