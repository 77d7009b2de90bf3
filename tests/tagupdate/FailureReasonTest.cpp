// Every run that could not start or failed says why, after its own text:
// one row per cause, on both roads.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/host/ProcessRun.h"
#include "tests/support/ImportRedirect.h"
#include "tests/tagupdate/CommandFixture.h"

namespace kestrel::test {
namespace {

std::string Repeated(const std::string& text, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i) {
        repeated += text;
    }
    return repeated;
}

struct ReasonCase {
    const char* name;
    std::string options; // UTF-8
    Outcome end;
    // The reason in Japanese; empty: the real ctags's own last line, run
    // with the same options in the same folder.
    std::string reason;
    std::string english = "";       // for the rows the English build runs
    const char* execPath = nullptr; // null: the fake ctags
    bool showConsole = false;
    bool namelessError =
        false; // the exit code cannot be read, for a reason Windows has no text for
};

BOOL WINAPI FailNamelessly(HANDLE, LPDWORD) {
    SetLastError(0x20001234); // an application's own code
    return FALSE;
}

// What the real ctags, run with `options` in `folder`, writes last.
std::string CtagsLastWords(const std::string& options, const std::string& folder) {
    const std::string ctags = ProgramFolder() + "\\ctags.exe";
    const ProcessResult run = RunAndCapture(
        "cmd /c \"\"" + ctags + "\" " + options + " -f oracle-tags 2>&1\"", folder.c_str());
    EXPECT_NE(0u, run.exitCode);
    return run.lines.empty() ? "" : run.lines.back();
}

class FailureReasonTest : public CommandTest,
                          public testing::WithParamInterface<std::tuple<ReasonCase, bool>> {};

TEST_P(FailureReasonTest, StatusTextSaysWhy) {
    const auto& [c, sync] = GetParam();
    const std::string folder = Project(std::string(c.name) + (sync ? "-sync" : "-background"));
    settings.ExecSync = sync;
    settings.ShowConsole = c.showConsole;
    settings.ExecOption = Cp932(c.options.c_str()).c_str();
    if (c.execPath != nullptr) {
        settings.ExecPath =
            (*c.execPath == '\0' ? ProgramFolder() + "\\ctags.exe" : c.execPath).c_str();
    }
    std::optional<ImportRedirect> failing;
    if (c.namelessError) {
        failing.emplace("kernel32.dll", "GetExitCodeProcess",
                        reinterpret_cast<void*>(&FailNamelessly));
    }
    RunTagUpdate(settings, host.Window());
    ASSERT_TRUE(WaitForIdle());
    failing.reset();

    if (GetACP() == 1252) {
        const std::string shown = c.end == Outcome::CouldNotRun
                                      ? "S:Could not run " + CommandLine() + ". (" + c.english + ")"
                                      : "S:Ran " + (sync ? CommandLine() : "ctags") +
                                            ", but it ended with an error. (" + c.english + ")";
        EXPECT_EQ(shown, Transcript().back());
        return;
    }
    const std::string reason =
        c.reason.empty() ? Utf8(CtagsLastWords(settings.ExecOption.Chars(), folder)) : c.reason;
    EXPECT_EQ(Shown(folder, c.end, reason), Transcript());
}

const ReasonCase kCases[] = {
    // ctags's own message, after its verbose trace.
    {"UnknownOption", "-R -V --no-such-option ", Outcome::RanWithError, "", "", ""},
    {"ExcludeListMissing", "-R --exclude=@missing.lst ", Outcome::RanWithError, "", "", ""},
    // Megabytes of trace neither block ctags nor hide its last words; a tab
    // in them is shown as a blank.
    {"Flood", "--flood=8000000 \"--say=fake: gave\tup\" --exit=3 ", Outcome::RanWithError,
     "fake: gave up"},
    {"WarningIsNoReason", "\"--say=ctags.exe: Warning: odd\" --exit=2 ", Outcome::RanWithError,
     "終了コード 2"},
    // A line with no name before its colon is not one of ctags's messages.
    {"NamelessIsNoReason", "\"--say=: lost\" --exit=5 ", Outcome::RanWithError, "終了コード 5"},
    {"Crash", "--exit=0xC0000005 ", Outcome::RanWithError, "終了コード 0xC0000005"},
    {"ExitCode", "--exit=1 ", Outcome::RanWithError, "終了コード 1", "exit code 1"},
    // ctags writes to its console: only its exit code is known.
    {"ConsoleShown", "\"--say=fake: no\" --exit=4 ", Outcome::RanWithError, "終了コード 4", "",
     nullptr, true},
    {"NotOnPath", "--exit=0 ", Outcome::CouldNotRun,
     "kestrel-nowhere が PATH にもエディタのフォルダにも見つかりません",
     "kestrel-nowhere was found neither on the PATH nor beside the editor", "kestrel-nowhere"},
    {"NamelessError", "--exit=0 ", Outcome::RanWithError, "エラー 536875572", "", nullptr, false,
     true},
    // The first word ctags would misread, as it stands in the options.
    {"OperandAsWritten", "--exit=0 \"my dir\" src ", Outcome::CouldNotRun,
     "オプションの \"my dir\" では ctags が別の場所に書き込むか失敗します"},
    // 200 bytes at most, cut between two characters.
    {"LongWordCut", "--exit=0 " + Repeated("あ", 150) + " ", Outcome::CouldNotRun,
     "オプションの " + Repeated("あ", 93)},
};

INSTANTIATE_TEST_SUITE_P(Cases, FailureReasonTest,
                         testing::Combine(testing::ValuesIn(kCases), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<ReasonCase, bool>>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "Sync" : "Background");
                         });

} // namespace
} // namespace kestrel::test
