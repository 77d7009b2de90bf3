#include "tagupdate/BackgroundRun.h"

#include <thread>

#include "plugin/UniqueAny.h"
#include "tests/tagupdate/CommandFixture.h"

namespace kestrel::test {
namespace {

class BackgroundCommandTest : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        settings.ExecSync = false;
    }

    void TearDown() override {
        // Never leave a watcher behind for the next test; a test stopped
        // short may have none left, and waits less.
        ReleaseHeldRuns();
        EXPECT_TRUE(WaitForIdle(HasFatalFailure() ? 20000 : 60000));
    }

    // ctags holds on until ReleaseHeldRuns creates the file it waits for.
    void HoldRuns() {
        static int gates = 0; // one for each run in this program
        gate = "K:\\gate-" + std::to_string(++gates);
        settings.ExecOption = ("--exit=0 --wait-file=" + gate + " ").c_str();
    }
    void ReleaseHeldRuns() {
        if (!gate.empty()) {
            MakeFile(gate);
        }
    }

    // The next command is not refused: it runs up to the watcher's text.
    void ExpectNextCommandRuns(const std::string& folder) {
        ClearEvents();
        settings.ExecOption = "--exit=0 ";
        RunTagUpdate(settings, host.Window());
        ASSERT_TRUE(WaitForIdle());
        EXPECT_EQ(Shown(folder, Outcome::Ran), Transcript());
    }

    std::string gate;
};

TEST_F(BackgroundCommandTest, SuccessReportsFromWatcherWithoutBeep) {
    const std::string folder = Project("g1");
    HoldRuns();

    // The command has returned while ctags still waits for its gate.
    EXPECT_EQ(Lines({Announced(), Folder(folder), Running()}), Command());
    ASSERT_EQ(1u, ProcessStarts().size());
    ASSERT_TRUE(ProcessStarts()[0].afterSuspendedWatcher) << "the watcher ran before ctags started";
    EXPECT_EQ(host.Window(), RunningMarker());
    EXPECT_TRUE(FakeHost::PumpUntil([] { return WatcherProcess() != nullptr; }));
    ReleaseHeldRuns();
    ASSERT_TRUE(WaitForIdle());

    EXPECT_EQ(Shown(folder, Outcome::Ran), Transcript());
    const auto starts = ProcessStarts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(static_cast<DWORD>(DETACHED_PROCESS | IDLE_PRIORITY_CLASS | CREATE_SUSPENDED |
                                 EXTENDED_STARTUPINFO_PRESENT),
              starts[0].creationFlags);
    EXPECT_EQ(folder, OnlyRun()["cwd"]);
}

TEST_F(BackgroundCommandTest, ErrorExitBeepsOnWatcherThread) {
    const std::string folder = Project("g2");
    settings.ExecOption = "--exit=2 ";

    RunTagUpdate(settings, host.Window());
    ASSERT_TRUE(WaitForIdle());

    EXPECT_EQ(Shown(folder, Outcome::RanWithError, "終了コード 2"), Transcript());
    for (const Event& event : Events()) {
        if (event.kind == Event::Beep) {
            EXPECT_NE(GetCurrentThreadId(), event.threadId);
        }
    }
}

TEST_F(BackgroundCommandTest, UnreadableExitCodeCountsAsError) {
    const std::string folder = Project("g6");
    const FailingCalls failing(Calls::ExitCodeQueries);
    RunTagUpdate(settings, host.Window());
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(Shown(folder, Outcome::RanWithError, "アクセスが拒否されました"), Transcript());
}

TEST_F(BackgroundCommandTest, SecondCommandIsRefusedOnBothRoads) {
    const std::string folder = Project("g3");
    HoldRuns();
    RunTagUpdate(settings, host.Window());
    ASSERT_EQ(host.Window(), RunningMarker());

    for (bool sync : {true, false}) {
        SCOPED_TRACE(sync ? "synchronous" : "background");
        ClearEvents();
        ClearProcessStarts();
        settings.ExecSync = sync;
        EXPECT_EQ(Shown(folder, Outcome::Refused), Command());
        EXPECT_TRUE(ProcessStarts().empty());
    }

    ReleaseHeldRuns();
    ASSERT_TRUE(WaitForIdle());
    // Once the completion text has been handled, the next command runs.
    ExpectNextCommandRuns(folder);
}

TEST_F(BackgroundCommandTest, FailedStartLeavesNextCommandFree) {
    const std::string folder = Project("g4");
    MakeFile(folder + "\\text.exe", "not a program\n");
    // A program found nowhere is told before a tags file that ctags would
    // refuse; a program that cannot start leaves no watcher behind.
    for (const bool found : {false, true}) {
        SCOPED_TRACE(found ? "cannot start" : "found nowhere");
        ClearEvents();
        ClearProcessStarts();
        MakeFile(folder + "\\tags", found ? "" : "Notes\n");
        settings.ExecPath = (folder + (found ? "\\text.exe" : "\\missing.exe")).c_str();
        const std::string program = Utf8(settings.ExecPath.Chars());
        EXPECT_EQ(Shown(folder, Outcome::CouldNotRun,
                        program + (found ? " の EXE フォーマットが不正です" : " が見つかりません")),
                  Command());
        EXPECT_EQ(nullptr, RunningMarker());
        EXPECT_TRUE(FakeHost::PumpUntil([] { return !WatcherRuns(); }, 30000))
            << "a watcher is left suspended";
    }

    settings.ExecPath = FakeCtagsPath().c_str();
    ExpectNextCommandRuns(folder);
}

TEST_F(BackgroundCommandTest, WatcherThatCannotStartStartsNothing) {
    // Without a reference to the library of its own, a watcher could be
    // unloaded under its feet; without a watcher, ctags would write on with
    // its lock let go. So ctags does not start either.
    for (Calls calls : {Calls::ThreadStarts, Calls::ModuleReferences}) {
        const bool noThread = calls == Calls::ThreadStarts;
        SCOPED_TRACE(noThread ? "no thread" : "no library reference");
        ClearEvents();
        ClearProcessStarts();
        const std::string folder = Project(noThread ? "g5" : "g7");
        const Lines shown = [&] {
            const FailingCalls failing(calls);
            return Command();
        }();

        EXPECT_EQ(Shown(folder, Outcome::CouldNotRun,
                        noThread ? "十分なメモリがありません" : "モジュールが見つかりません"),
                  shown);
        EXPECT_EQ(nullptr, RunningMarker());
        EXPECT_TRUE(ProcessStarts().empty());
        ExpectNextCommandRuns(folder);
    }
}

TEST_F(BackgroundCommandTest, WatcherThatEndsAtOnceClearsTheMarker) {
    const std::string folder = Project("g8");
    const Lines shown = [&] {
        const FailingCalls finishing(Calls::ThreadResumes);
        return Command();
    }();
    EXPECT_EQ(Lines({Announced(), Folder(folder), "S:ctags を実行しました。", Running()}), shown);
    EXPECT_EQ(nullptr, RunningMarker());
}

TEST_F(BackgroundCommandTest, WatcherThatCannotBeResumedEndsItsRun) {
    // ctags would otherwise run on unwatched, the marker set and the lock
    // held until the editor ends.
    const std::string folder = Project("g9");
    HoldRuns();
    // A command that waits for a ctags it did not end is let go, and fails.
    const UniqueHandle returned(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::thread guard([&] {
        if (WaitForSingleObject(returned.Get(), 30000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "the command waits for ctags";
            ReleaseHeldRuns();
        }
    });
    const Lines shown = [&] {
        const FailingCalls failing(Calls::FailedResumes);
        return Command();
    }();
    SetEvent(returned.Get());
    guard.join();
    EXPECT_EQ(Shown(folder, Outcome::CouldNotRun, "アクセスが拒否されました"), shown);
    ASSERT_EQ(nullptr, RunningMarker());
    EXPECT_EQ(1u, ProcessStarts().size());
    EXPECT_TRUE(FakeHost::PumpUntil([] { return !WatcherRuns(); }, 30000))
        << "the watcher is left suspended";
    ExpectNextCommandRuns(folder);
}

} // namespace
} // namespace kestrel::test
