// Hundreds of commands in a row, synchronous and background, through the
// built library's exports: the host's handles, threads and memory stay flat.
//
// Under Wine GetProcessHandleCount reports 0 and the private-bytes counter
// too, so the measures here are the process's own: handle values that
// GetHandleInformation accepts, the threads a Toolhelp snapshot lists, and
// the committed private pages VirtualQuery walks. A test first shows that
// each measure sees a deliberate leak.
#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "host/PlugIn.h"
#include "plugin/UniqueAny.h"
#include "settings/SettingsStore.h"
#include "tests/support/Cp932.h"
#include "tests/support/EventLog.h"
#include "tests/support/FakeHost.h"
#include "tests/support/Hooks.h"
#include "tests/support/Sandbox.h"
#include "tests/support/StoredSettings.h"
#include "tests/support/UiLanguage.h"

namespace kestrel::test {
namespace {

int OpenHandles() {
    int open = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        open += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return open;
}

int Threads() {
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more;
         more = Thread32Next(snapshot.Get(), &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    }
    return count;
}

SIZE_T CommittedPrivateBytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const char* address = nullptr; VirtualQuery(address, &info, sizeof info) == sizeof info;
         address = static_cast<const char*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) {
            total += info.RegionSize;
        }
    }
    return total;
}

// Taken when made.
struct Measure {
    int handles = OpenHandles();
    int threads = Threads();
    SIZE_T memory = CommittedPrivateBytes();
};

TEST(EnduranceMeasures, SeeDeliberateLeaks) {
    const Measure before;
    std::vector<UniqueHandle> leaked(8);
    for (UniqueHandle& handle : leaked) {
        handle.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    }
    std::thread waiter([stop = leaked.front().Get()] { WaitForSingleObject(stop, INFINITE); });
    void* block = VirtualAlloc(nullptr, 1 << 20, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    const Measure during;

    EXPECT_GE(during.handles - before.handles, 8);
    EXPECT_EQ(before.threads + 1, during.threads);
    EXPECT_GE(during.memory - before.memory, static_cast<SIZE_T>(1 << 20));

    SetEvent(leaked.front().Get());
    waiter.join();
    VirtualFree(block, 0, MEM_RELEASE);
}

TEST(Endurance, HundredsOfCommandsLeaveHostFlat) {
    host::PlugIn plugIn;
    ASSERT_TRUE(plugIn.Load(host::DefaultPlugInPath()));
    ASSERT_TRUE(SteadyProcessStarts(plugIn.Module()));
    FakeHost host;
    MakeFile("K:\\n1\\work\\tags");
    MakeFile("K:\\n1\\work\\main.c");
    host.SetDocumentPath("K:\\n1\\work\\main.c");
    StoreText("ExecPath", FakeCtagsPath());
    StoreText("ExecOption", "--exit=0 ");
    StoreFlag("AskFolder", 0);

    // Rounds of one command on each road; each ends with its completion text,
    // in the language of the run. The watcher names ctags by that literal.
    const std::string ranCtags = JapaneseUi() ? Cp932("ctags を実行しました。") : "Ran ctags.";
    int commands = 0;
    const auto run = [&](int rounds) {
        for (int round = 0; round < rounds; ++round) {
            for (DWORD sync : {1u, 0u}) {
                StoreFlag("ExecSync", sync);
                ClearEvents();
                const int threads = Threads();
                plugIn.OnCommand(host.Window());
                ++commands;
                // A synchronous command ends with its fourth text; a background
                // one with the watcher's completion text after it and the
                // watcher's end, which clears the running marker only after
                // that text: a command started before would be refused.
                const bool ended = FakeHost::PumpUntil([&] {
                    const auto texts = StatusTexts();
                    return texts.size() == 4u &&
                           (sync || (texts.back() == ranCtags && Threads() <= threads));
                });
                ASSERT_TRUE(ended) << "command " << commands
                                   << " did not end: " << testing::PrintToString(StatusTexts());
            }
        }
    };
    const int idle = Threads();
    run(10);
    // The measures start from a host that runs no watcher: every watcher of
    // the first rounds has ended.
    ASSERT_TRUE(FakeHost::PumpUntil([&] { return Threads() <= idle; }))
        << "threads before the first rounds " << idle << ", now " << Threads();
    const Measure before;

    run(150);
    FakeHost::PumpUntil([&] { return Threads() <= before.threads; }, 5000);
    const Measure after;

    EXPECT_EQ(320, commands);
    EXPECT_LE(after.handles, before.handles + 2) << "handles before " << before.handles;
    EXPECT_EQ(before.threads, after.threads);
    EXPECT_LE(after.memory, before.memory + 256 * 1024) << "bytes before " << before.memory;
    plugIn.Unload();
    EXPECT_EQ(nullptr, GetModuleHandleA("Kestrel.dll"))
        << "a finished watcher still pins the library";
    DeleteStoredSettings();
}

} // namespace
} // namespace kestrel::test
