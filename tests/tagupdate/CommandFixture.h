// Shared set-up of the command tests: a host window on the test's thread,
// the hooks that see beeps and process starts, and settings that run the
// fake ctags in a found folder without asking.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/ModuleState.h"
#include "plugin/ModuleStateForTests.h"
#include "settings/Settings.h"
#include "tagupdate/TagUpdate.h"
#include "tests/support/Cp932.h"
#include "tests/support/EventLog.h"
#include "tests/support/FakeHost.h"
#include "tests/support/Hooks.h"
#include "tests/support/Sandbox.h"

namespace kestrel::test {

using Lines = std::vector<std::string>;

// How a command that has found its folder ends.
// Rejected: ctags would refuse the tags file, so it does not start.
// Stopped: before it filled the disk.
// NotStarted: could not run, told at once on the synchronous road and by the
// watcher once the command has returned in the background.
enum class Outcome { Ran, RanWithError, CouldNotRun, NotStarted, Refused, Rejected, Stopped };

class CommandTest : public testing::Test {
protected:
    static void SetUpTestSuite() { OleInitialize(nullptr); }
    static void TearDownTestSuite() { OleUninitialize(); }

    void SetUp() override {
        ASSERT_TRUE(InstallHooks());
        ClearEvents();
        ClearProcessStarts();
        ClearRunningMarker();
        record = StartFakeCtagsRecord();
        settings.ExecPath = FakeCtagsPath().c_str();
        settings.ExecOption = "--exit=0 ";
        settings.AskFolder = false; // the browser opens where a test asks for it
    }

    // K:\<name>\work holding tags, and the document main.c in its subfolder
    // `sub` (empty: in it); returns the folder.
    std::string Project(const std::string& name, const std::string& sub = "") {
        const std::string folder = "K:\\" + name + "\\work";
        MakeFile(folder + "\\tags");
        MakeFile(folder + sub + "\\main.c");
        host.SetDocumentPath(folder + sub + "\\main.c");
        return folder;
    }

    // Runs the command; returns what it showed until it returned.
    Lines Command() {
        RunTagUpdate(settings, host.Window());
        return Transcript();
    }

    // Pumps until no background run is left: the watcher has cleared the
    // running marker and let go of its process. Fails at once when no
    // thread is left that could.
    static bool WaitForIdle(DWORD timeoutMs = 60000) {
        const auto idle = [] { return RunningMarker() == nullptr && WatcherProcess() == nullptr; };
        if (FakeHost::PumpUntil([&] { return idle() || !WatcherRuns(); }, timeoutMs) && !idle()) {
            ADD_FAILURE() << "a run is marked, but no watcher is left to end it";
        }
        return idle();
    }

    // The one fake ctags run since the test began; empty if not exactly one.
    FakeCtagsRecord OnlyRun() const {
        const auto records = ReadFakeCtagsRecords(record);
        EXPECT_EQ(1u, records.size());
        return records.size() == 1 ? records[0] : FakeCtagsRecord();
    }

    // The command line the plug-in builds from `settings`, in UTF-8.
    std::string CommandLine() const {
        return "\"" + Utf8(settings.ExecPath.Chars()) + "\" " + Utf8(settings.ExecOption.Chars()) +
               " -f " + Utf8(settings.TagsFileName.Chars());
    }
    std::string Announced() const {
        return "S:選択されたフォルダで " + CommandLine() + " を実行します。";
    }
    std::string Running() const { return "S:" + CommandLine() + " を実行しています。"; }
    static std::string Folder(const std::string& cp932) { return "S:" + Utf8(cp932); }

    // All that a command that runs in `folder` shows, on the background road
    // up to the watcher's text, which names ctags by a literal; a run that
    // could not run or failed gives `reason` in parentheses.
    Lines Shown(const std::string& folder, Outcome outcome, const std::string& reason = "") const {
        Lines shown = {Announced(), Folder(folder)};
        const std::string ran = settings.ExecSync ? CommandLine() : "ctags";
        const std::string why = "（" + reason + "）";
        if (outcome == Outcome::Ran) {
            shown.insert(shown.end(), {Running(), "S:" + ran + " を実行しました。"});
        } else if (outcome == Outcome::RanWithError) {
            shown.insert(shown.end(), {Running(), "beep",
                                       "S:" + ran + " を実行しましたがエラー終了しました。" + why});
        } else if (outcome == Outcome::Stopped) {
            shown.insert(shown.end(),
                         {Running(), "beep",
                          "S:" + ran + " を停止しました。ディスクの空きが少なくなっています。"});
        } else if (outcome == Outcome::Rejected) {
            shown.insert(shown.end(), {"beep", "S:" + CommandLine() +
                                                   " を実行しましたがエラー終了しました。" + why});
        } else if (outcome == Outcome::NotStarted && !settings.ExecSync) {
            shown.insert(shown.end(), {Running(), "S:ctags を実行できませんでした。" + why});
        } else if (outcome == Outcome::CouldNotRun || outcome == Outcome::NotStarted) {
            shown.push_back("S:" + CommandLine() + " を実行できませんでした。" + why);
        } else {
            shown.insert(shown.end(), {"beep", "S:ctags を２重に起動することはできません。"});
        }
        return shown;
    }

    FakeHost host;
    Settings settings;
    std::string record;
};

} // namespace kestrel::test
