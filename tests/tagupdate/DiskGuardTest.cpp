#include "tagupdate/DiskGuard.h"

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/ImportRedirect.h"

namespace kestrel::test {
namespace {

// A clock the test moves, and a volume that a writer fills at a steady rate
// from the time ctags is let go (0).
DWORD g_now = 0;
ULONGLONG g_freeAtStart = 0, g_bytesPerMs = 0;

DWORD WINAPI Now() {
    return g_now;
}

BOOL WINAPI FallingFreeSpace(LPCWSTR, PULARGE_INTEGER available, PULARGE_INTEGER, PULARGE_INTEGER) {
    const ULONGLONG written = g_bytesPerMs * g_now;
    available->QuadPart = written < g_freeAtStart ? g_freeAtStart - written : 0;
    return TRUE;
}

TEST(DiskGuard, ReadsOftenEnoughToStopAFastWriterBeforeTheDiskIsFull) {
    const ImportRedirect clock("kernel32.dll", "GetTickCount", reinterpret_cast<void*>(&Now));
    const ImportRedirect volume("kernel32.dll", "GetDiskFreeSpaceExW",
                                reinterpret_cast<void*>(&FallingFreeSpace));
    ASSERT_TRUE(clock.Original() && volume.Original());
    constexpr ULONGLONG kMB = 1 << 20;
    // Volumes that a real ctags or a fast writer filled between two readings
    // half a second apart; a large one; one that a writer never fills.
    const struct {
        ULONGLONG freeAtStart, bytesPerMs;
    } rows[] = {{2 * kMB, 40000},       {3 * kMB, 40000},  {24 * kMB, 200000},
                {10240 * kMB, 1000000}, {1024 * kMB, 100}, {10240 * kMB, 0}};
    for (const auto& [freeAtStart, bytesPerMs] : rows) {
        SCOPED_TRACE(std::to_string(freeAtStart / kMB) + " MB at " + std::to_string(bytesPerMs));
        g_now = 0;
        g_freeAtStart = freeAtStart;
        g_bytesPerMs = bytesPerMs;
        DiskGuard guard(CountedString("K:\\"));
        guard.Start();
        DWORD soonest = kDiskGuardMs, latest = 0;
        int readings = 0;
        for (; guard.HasRoom() && g_now < 60000; ++readings) {
            soonest = std::min(soonest, guard.NextReadingMs());
            latest = std::max(latest, guard.NextReadingMs());
            g_now += guard.NextReadingMs();
        }
        const ULONGLONG floor = std::min(freeAtStart / 2, 512 * kMB);
        const ULONGLONG written = bytesPerMs * g_now;
        EXPECT_EQ(written >= freeAtStart - floor, g_now < 60000) << "stopped at " << g_now;
        EXPECT_GT(freeAtStart - std::min(written, freeAtStart), floor / 2) << "at " << g_now;
        EXPECT_GE(soonest, 10u);
        EXPECT_LE(latest, kDiskGuardMs);
        EXPECT_LE(readings, 8 + static_cast<int>(g_now / 250));
    }
}

} // namespace
} // namespace kestrel::test
