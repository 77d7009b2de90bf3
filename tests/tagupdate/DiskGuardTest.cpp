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
ULONGLONG FreeNow() {
    return g_freeAtStart - std::min(g_freeAtStart, g_bytesPerMs * g_now);
}
BOOL WINAPI FallingFreeSpace(LPCWSTR, PULARGE_INTEGER available, PULARGE_INTEGER, PULARGE_INTEGER) {
    available->QuadPart = FreeNow();
    return TRUE;
}

TEST(DiskGuard, ReadsOftenEnoughToStopAFastWriterBeforeTheDiskIsFull) {
    const ImportRedirect clock("kernel32.dll", "GetTickCount", reinterpret_cast<void*>(&Now));
    const ImportRedirect volume("kernel32.dll", "GetDiskFreeSpaceExW",
                                reinterpret_cast<void*>(&FallingFreeSpace));
    ASSERT_TRUE(clock.Original() && volume.Original());
    // Volumes that a real ctags or a fast writer filled between two readings
    // half a second apart; a large one; one that a writer never fills.
    constexpr ULONGLONG kMB = 1 << 20;
    for (const auto& [freeAtStart, bytesPerMs] : {std::pair{2 * kMB, 40000ull},
                                                  {3 * kMB, 40000ull},
                                                  {24 * kMB, 200000ull},
                                                  {10240 * kMB, 1000000ull},
                                                  {1024 * kMB, 100ull},
                                                  {10240 * kMB, 0ull}}) {
        SCOPED_TRACE(std::to_string(freeAtStart / kMB) + " MB at " + std::to_string(bytesPerMs));
        g_now = 0;
        g_freeAtStart = freeAtStart;
        g_bytesPerMs = bytesPerMs;
        DiskGuard guard(CountedString("K:\\"));
        guard.Start();
        int readings = 0;
        for (; guard.HasRoom() && g_now < 60000; ++readings, g_now += guard.NextReadingMs()) {
            ASSERT_TRUE(guard.NextReadingMs() >= 10 && guard.NextReadingMs() <= kDiskGuardMs);
        }
        const ULONGLONG floor = std::min(freeAtStart / 2, 512 * kMB);
        EXPECT_EQ(FreeNow() < floor, g_now < 60000) << "stopped at " << g_now;
        EXPECT_GT(FreeNow(), floor / 2) << "left at " << g_now;
        EXPECT_LE(readings, 8 + static_cast<int>(g_now / 250)) << "no busy loop";
    }
}

} // namespace
} // namespace kestrel::test
