// The stand-in host, driven as the plug-in tests drive it, with a plug-in of
// its own (HostTestPlugIn.dll) that exports only OnCommand.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/host/ProcessRun.h"
#include "tests/support/Cp932.h"

namespace kestrel::test {
namespace {

using Lines = std::vector<std::string>;

// Runs the host on the test plug-in in `mode`, with `options` after --dll.
ProcessResult RunHost(const char* mode, const std::string& options) {
    SetEnvironmentVariableA("KESTREL_TEST_PLUGIN_MODE", mode);
    const std::string folder = BuildFolder();
    return RunAndCapture("\"" + folder + "\\KestrelHost.exe\" --dll \"" + folder +
                         "\\HostTestPlugIn.dll\" " + options);
}

Lines Without(const Lines& lines, const std::string& prefix) {
    Lines kept;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(kept),
                 [&](const std::string& line) { return line.compare(0, prefix.size(), prefix); });
    return kept;
}

Lines Only(const Lines& lines, const std::string& prefix) {
    Lines kept;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(kept),
                 [&](const std::string& line) { return !line.compare(0, prefix.size(), prefix); });
    return kept;
}

TEST(KestrelHost, ReportsStatusTextsDocumentPathAndBeepsInOrder) {
    const ProcessResult run =
        RunHost("texts", "--run --trace-beep --document \"" + Cp932("C:\\文書\\表示.c") + "\"");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(0u, run.exitCode);
    const Lines expected = {
        "command",
        "status: first",
        "status: 選択されたフォルダ",
        "status: 表示ソフト",
        "document-path: C:\\文書\\表示.c",
        "status: document=C:\\文書\\表示.c",
        "beep: 0 thread=ui",
        "command-returned",
        "done",
    };
    EXPECT_EQ(expected, run.lines);
}

TEST(KestrelHost, AnswersTheDocumentPathQuery) {
    const std::string longPath = "C:\\" + std::string(300, 'a');
    const struct {
        std::string options;
        std::string answer;
    } cases[] = {
        {"", ""},
        {"--document C:\\work\\main.c", "C:\\work\\main.c"},
        {"--document " + longPath, longPath.substr(0, 259)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        const ProcessResult run = RunHost("texts", "--run " + c.options);
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_EQ(Lines{"document-path: " + c.answer}, Only(run.lines, "document-path: "));
        EXPECT_EQ(Lines{"status: document=" + c.answer}, Only(run.lines, "status: document="));
    }
}

TEST(KestrelHost, WaitsForTextsThatABackgroundThreadSendsLate) {
    const ProcessResult run = RunHost("background", "--run --trace-beep --wait-background");
    EXPECT_EQ(0u, run.exitCode);
    // The beep comes from the plug-in's thread whenever that runs.
    EXPECT_EQ(Lines{"beep: 48 thread=other"}, Only(run.lines, "beep: "));
    const Lines expected = {"command", "status: started", "command-returned", "status: late 1",
                            "done"};
    EXPECT_EQ(expected, Without(run.lines, "beep: "));
}

TEST(KestrelHost, KeepsRunningWhenThePlugInOutlivesItsUnload) {
    const ProcessResult run =
        RunHost("background", "--run --unload-after-command --wait-background");
    EXPECT_EQ(0u, run.exitCode);
    const Lines expected = {"command",  "status: started", "command-returned",
                            "unloaded", "status: late 1",  "done"};
    EXPECT_EQ(expected, run.lines);
}

TEST(KestrelHost, AnswersEveryFolderBrowserAsAsked) {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    const std::string folder = std::string(windows) + "\\system32";
    const struct {
        const char* answer;
        const char* mode;
        int count;
        std::string browsed;
    } cases[] = {
        {"ok", "browse", 1, folder},
        {"cancel", "browse", 1, "none"},
        {"ok", "browse-twice", 2, folder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.answer) + " x" + std::to_string(c.count));
        const ProcessResult run = RunHost(c.mode, std::string("--run --browse ") + c.answer +
                                                      " --document \"" + folder + "\"");
        EXPECT_EQ(0u, run.exitCode);
        const auto times = [&](const std::string& line) {
            return Lines(static_cast<size_t>(c.count), line);
        };
        EXPECT_EQ(times(std::string("browser-press: ") + c.answer),
                  Only(run.lines, "browser-press: "));
        EXPECT_EQ(times("status: browsed: " + c.browsed), Only(run.lines, "status: browsed: "));
        EXPECT_EQ(times("browser-prompt: フォルダを選んでください"),
                  Only(run.lines, "browser-prompt: "));
        // The browser's tree shows the folder preselected, by display names.
        const Lines selections = Only(run.lines, "browser-selection: ");
        ASSERT_EQ(static_cast<size_t>(c.count), selections.size());
        for (const std::string& selection : selections) {
            const std::string tail = "\\windows\\system32";
            EXPECT_EQ(tail,
                      selection.substr(selection.size() - std::min(selection.size(), tail.size())));
        }
        ASSERT_EQ(static_cast<size_t>(c.count), Only(run.lines, "browser-title: ").size());
    }
}

TEST(KestrelHost, RefusesBadCommandLinesAndMissingPlugIns) {
    const struct {
        std::string options;
        DWORD exitCode;
    } cases[] = {
        {"--run --bogus", 1},        {"--run --document", 1},   {"--run --hold-ms x", 1},
        {"--run --browse maybe", 1}, {"--run --hold-ms -1", 1}, {"--run=1", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        EXPECT_EQ(c.exitCode, RunHost("texts", c.options).exitCode);
    }
    const ProcessResult missing =
        RunAndCapture("\"" + BuildFolder() + "\\KestrelHost.exe\" --run --dll \"" + BuildFolder() +
                      "\\none.dll\"");
    EXPECT_EQ(2u, missing.exitCode);
}

} // namespace
} // namespace kestrel::test
