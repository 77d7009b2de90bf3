#include "tagupdate/BackgroundRun.h"

#include "tagupdate/TagUpdate.h"
#include "tests/tagupdate/CommandFixture.h"

namespace kestrel::test {
namespace {

using Lines = std::vector<std::string>;

const char kRan[] = "S:ctags を実行しました。";
const char kRanWithError[] = "S:ctags を実行しましたがエラー終了しました。";

class BackgroundCommandTest : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        settings.ExecSync = false;
        settings.AskFolder = false;
    }

    void TearDown() override {
        // Never leave a watcher behind for the next test.
        ReleaseHeldRuns();
        EXPECT_TRUE(FakeHost::PumpUntil([] { return RunningMarker() == nullptr; }));
    }

    // ctags holds on until ReleaseHeldRuns creates the file it waits for.
    void HoldRuns(const std::string& exitCode) {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        gate = std::string(temp) + "gate-" + std::to_string(++gates) + ".txt";
        settings.ExecOption = ("--exit=" + exitCode + " --wait-file=" + gate + " ").c_str();
    }
    void ReleaseHeldRuns() {
        if (!gate.empty()) {
            MakeFile(gate);
        }
    }

    static bool WaitForIdle() {
        return FakeHost::PumpUntil([] { return RunningMarker() == nullptr; });
    }

    std::string gate;
    int gates = 0;
};

TEST_F(BackgroundCommandTest, SuccessReportsFromWatcherWithoutBeep) {
    const std::string folder = Project("g1");
    HoldRuns("0");

    RunTagUpdate(settings, host.Window());
    // The command has returned while ctags still waits for its gate.
    EXPECT_EQ(Lines({Announced(), Folder(folder), Running()}), Transcript());
    EXPECT_EQ(host.Window(), RunningMarker());
    ReleaseHeldRuns();
    ASSERT_TRUE(WaitForIdle());

    EXPECT_EQ(Lines({Announced(), Folder(folder), Running(), kRan}), Transcript());
    const auto starts = ProcessStarts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(static_cast<DWORD>(DETACHED_PROCESS | IDLE_PRIORITY_CLASS), starts[0].creationFlags);
    const auto records = ReadFakeCtagsRecords(record);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(folder, records[0].at("cwd"));
}

TEST_F(BackgroundCommandTest, ErrorExitBeepsOnWatcherThread) {
    const std::string folder = Project("g2");
    settings.ExecOption = "--exit=2 ";

    RunTagUpdate(settings, host.Window());
    ASSERT_TRUE(WaitForIdle());

    EXPECT_EQ(Lines({Announced(), Folder(folder), Running(), "beep", kRanWithError}), Transcript());
    for (const Event& event : Events()) {
        if (event.kind == Event::Beep) {
            EXPECT_NE(GetCurrentThreadId(), event.threadId);
        }
    }
}

TEST_F(BackgroundCommandTest, UnreadableExitCodeCountsAsError) {
    const std::string folder = Project("g6");
    FailExitCodeQueries(true);
    RunTagUpdate(settings, host.Window());
    const bool idle = WaitForIdle();
    FailExitCodeQueries(false);

    ASSERT_TRUE(idle);
    EXPECT_EQ(Lines({Announced(), Folder(folder), Running(), "beep", kRanWithError}), Transcript());
}

TEST_F(BackgroundCommandTest, SecondCommandIsRefusedOnBothRoads) {
    const std::string folder = Project("g3");
    HoldRuns("0");
    RunTagUpdate(settings, host.Window());
    ASSERT_EQ(host.Window(), RunningMarker());

    for (bool sync : {true, false}) {
        SCOPED_TRACE(sync ? "synchronous" : "background");
        ClearEvents();
        ClearProcessStarts();
        settings.ExecSync = sync;
        RunTagUpdate(settings, host.Window());
        EXPECT_EQ(Lines({Announced(), Folder(folder), "beep", Refused()}), Transcript());
        EXPECT_TRUE(ProcessStarts().empty());
    }

    ReleaseHeldRuns();
    ASSERT_TRUE(WaitForIdle());

    // Once the completion text has been handled, the next command runs.
    ClearEvents();
    settings.ExecSync = false;
    settings.ExecOption = "--exit=0 ";
    RunTagUpdate(settings, host.Window());
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(Lines({Announced(), Folder(folder), Running(), kRan}), Transcript());
}

TEST_F(BackgroundCommandTest, FailedStartLeavesNextCommandFree) {
    const std::string folder = Project("g4");
    settings.ExecPath = "K:\\g4\\missing.exe";

    RunTagUpdate(settings, host.Window());

    EXPECT_EQ(Lines({Announced(), Folder(folder), Failed()}), Transcript());
    EXPECT_EQ(nullptr, RunningMarker());

    ClearEvents();
    settings.ExecPath = FakeCtagsPath().c_str();
    RunTagUpdate(settings, host.Window());
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(Lines({Announced(), Folder(folder), Running(), kRan}), Transcript());
}

TEST_F(BackgroundCommandTest, WatcherThatCannotStartFreesTheMarker) {
    // Without a reference to the library of its own, a watcher could be
    // unloaded under its feet: it is not started either.
    for (void (*fail)(bool) : {&FailThreadStarts, &FailModuleReferences}) {
        SCOPED_TRACE(fail == &FailThreadStarts ? "no thread" : "no library reference");
        ClearEvents();
        ClearProcessStarts();
        const std::string folder = Project(fail == &FailThreadStarts ? "g5" : "g7");
        HoldRuns("0");
        // The unwatched run writes nothing, so the next run's output is its own.
        settings.ExecOption = settings.ExecOption + "--no-output ";
        fail(true);
        RunTagUpdate(settings, host.Window());
        fail(false);

        EXPECT_EQ(Lines({Announced(), Folder(folder), Running()}), Transcript());
        EXPECT_EQ(nullptr, RunningMarker());
        EXPECT_EQ(1u, ProcessStarts().size());

        // ctags still runs, unwatched: no completion text ever follows, and
        // the next command is not refused.
        ReleaseHeldRuns();
        ClearEvents();
        settings.ExecOption = "--exit=0 ";
        RunTagUpdate(settings, host.Window());
        ASSERT_TRUE(WaitForIdle());
        EXPECT_EQ(Lines({Announced(), Folder(folder), Running(), kRan}), Transcript());
    }
}

} // namespace
} // namespace kestrel::test
