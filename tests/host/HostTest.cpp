// The stand-in host, driven as the plug-in tests drive it, with a plug-in of
// its own (HostTestPlugIn.dll) that exports only OnCommand.
#include <gtest/gtest.h>

#include "tests/host/ProcessRun.h"
#include "tests/support/Cp932.h"

namespace kestrel::test {
namespace {

// Runs the host on the test plug-in in `mode`, with `options` after --dll.
ProcessResult RunHost(const char* mode, const std::string& options) {
    SetEnvironmentVariableA("KESTREL_TEST_PLUGIN_MODE", mode);
    const std::string folder = ProgramFolder();
    return RunAndCapture("\"" + folder + "\\KestrelHost.exe\" --dll \"" + folder +
                         "\\HostTestPlugIn.dll\" " + options);
}

TEST(KestrelHost, ReportsStatusTextsDocumentPathAndBeepsInOrder) {
    const ProcessResult run =
        RunHost("texts", "--run --trace-beep --document \"" + Cp932("C:\\文書\\表示.c") + "\"");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(Lines({"command", "status: first", "status: 選択されたフォルダ", "status: 表示ソフト",
                     "document-path: C:\\文書\\表示.c", "status: document=C:\\文書\\表示.c",
                     "beep: 0 thread=ui", "command-returned", "done"}),
              run.lines);
}

TEST(KestrelHost, AnswersTheDocumentPathQuery) {
    const std::string longPath = "C:\\" + std::string(300, 'a');
    for (const auto& [options, answer] : {std::pair<std::string, std::string>{"", ""},
                                          {"--document C:\\work\\main.c", "C:\\work\\main.c"},
                                          {"--document " + longPath, longPath.substr(0, 259)}}) {
        SCOPED_TRACE(options);
        const ProcessResult run = RunHost("texts", "--run " + options);
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_EQ(Lines{"document-path: " + answer}, Only(run.lines, "document-path: "));
        EXPECT_EQ(Lines{"status: document=" + answer}, Only(run.lines, "status: document="));
    }
}

TEST(KestrelHost, WaitsForTextsThatABackgroundThreadSendsLate) {
    const ProcessResult run = RunHost("background", "--run --trace-beep --wait-background");
    EXPECT_EQ(0u, run.exitCode);
    // The beep comes from the plug-in's thread whenever that runs.
    EXPECT_EQ(Lines{"beep: 48 thread=other"}, Only(run.lines, "beep: "));
    EXPECT_EQ(Lines({"command", "status: started", "command-returned", "status: late 1", "done"}),
              Only(run.lines, "beep: ", false));
}

TEST(KestrelHost, KeepsRunningWhenThePlugInOutlivesItsUnload) {
    const ProcessResult run =
        RunHost("background", "--run --unload-after-command --wait-background");
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(Lines({"command", "status: started", "command-returned", "unloaded", "status: late 1",
                     "done"}),
              run.lines);
}

TEST(KestrelHost, AnswersEveryFolderBrowserAsAsked) {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    const std::string folder = std::string(windows) + "\\system32";
    const struct {
        const char* answer;
        size_t count;
        std::string browsed;
    } cases[] = {{"ok", 1, folder}, {"cancel", 1, "none"}, {"ok", 2, folder}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.answer) + " x" + std::to_string(c.count));
        const ProcessResult run =
            RunHost(c.count == 1 ? "browse" : "browse-twice",
                    std::string("--run --browse ") + c.answer + " --document \"" + folder + "\"");
        EXPECT_EQ(0u, run.exitCode);
        const auto expect = [&](const std::string& prefix, const std::string& rest) {
            EXPECT_EQ(Lines(c.count, prefix + rest), Only(run.lines, prefix));
        };
        expect("browser-press: ", c.answer);
        expect("status: browsed: ", c.browsed);
        expect("browser-prompt: ", "フォルダを選んでください");
        // The browser's tree shows the folder preselected, by display names.
        const Lines selections = Only(run.lines, "browser-selection: ");
        ASSERT_EQ(c.count, selections.size());
        for (const std::string& selection : selections) {
            const std::string tail = "\\windows\\system32";
            EXPECT_EQ(tail,
                      selection.substr(selection.size() - std::min(selection.size(), tail.size())));
        }
        ASSERT_EQ(c.count, Only(run.lines, "browser-title: ").size());
    }
}

TEST(KestrelHost, EndsAScriptedRunAtADialogThatNoOptionAnswers) {
    const ProcessResult run = RunHost("browse", "--run --document C:\\");
    EXPECT_EQ(4u, run.exitCode);
    EXPECT_EQ(1u, Only(run.lines, "unexpected-dialog: ").size());
    EXPECT_EQ(Lines{}, Only(run.lines, "done"));
}

TEST(KestrelHost, RefusesBadCommandLinesAndMissingPlugIns) {
    for (const char* options : {"--run --bogus", "--run --document", "--run --hold-ms x",
                                "--run --browse maybe", "--run --hold-ms -1", "--run=1"}) {
        SCOPED_TRACE(options);
        EXPECT_EQ(1u, RunHost("texts", options).exitCode);
    }
    const std::string host = "\"" + ProgramFolder() + "\\KestrelHost.exe\" --run --dll ";
    EXPECT_EQ(2u, RunAndCapture(host + "\"" + ProgramFolder() + "\\none.dll\"").exitCode);
}

} // namespace
} // namespace kestrel::test
