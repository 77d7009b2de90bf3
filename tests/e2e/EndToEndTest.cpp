// The plug-in as the user meets it: the stand-in host loads Kestrel.dll and
// runs the command with the settings in the registry, against the real
// ctags and the fake one.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "plugin/UniqueAny.h"
#include "tests/host/ProcessRun.h"
#include "tests/support/EnvironmentGuard.h"
#include "tests/support/Sandbox.h"
#include "tests/support/StoredSettings.h"
#include "tests/support/UiLanguage.h"

namespace kestrel::test {
namespace {

const std::string kDefaultLine = "\"ctags.exe\" -R -V --tag-relative=yes  -f tags";

// Every run ends as it should: a dialog that no option answers ends it early.
// The document is a file, as the editor's documents are.
ProcessResult RunHost(const std::string& document, const std::string& options) {
    if (!Exists(document)) {
        MakeFile(document);
    }
    const ProcessResult run = RunAndCapture(
        "\"" + ProgramFolder() + "\\KestrelHost.exe\" --document \"" + document + "\" " + options);
    EXPECT_TRUE(run.started);
    EXPECT_EQ(0u, run.exitCode) << testing::PrintToString(run.lines);
    return run;
}

// Hands every running ctags.exe of this Wine prefix, opened with `access`,
// to act(id, process).
template <typename Act> void ForEachCtags(DWORD access, Act act) {
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.Get(), &entry); more;
         more = Process32Next(snapshot.Get(), &entry)) {
        if (lstrcmpiA(entry.szExeFile, "ctags.exe") == 0) {
            act(entry.th32ProcessID, UniqueHandle(OpenProcess(access, FALSE, entry.th32ProcessID)));
        }
    }
}

// Ends every running ctags.exe as a kill would; true if there was one.
bool TerminateCtags() {
    bool found = false;
    ForEachCtags(PROCESS_TERMINATE, [&found](DWORD, UniqueHandle process) {
        found |= process && TerminateProcess(process.Get(), 1);
    });
    return found;
}

// NtSuspendProcess or NtResumeProcess.
LONG ProcessCall(const char* name, HANDLE process) {
    using Call = LONG(WINAPI*)(HANDLE);
    return reinterpret_cast<Call>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)))(process);
}

class EndToEndTest : public testing::Test {
protected:
    void SetUp() override { DeleteStoredSettings(); }
};

TEST_F(EndToEndTest, RealCtagsRebuildsTheTagsFile) {
    ASSERT_TRUE(Exists(ProgramFolder() + "\\ctags.exe"))
        << "the Windows ctags beside the host (fetched by cmake/setup.sh)";
    MakeFile("K:\\e1\\src\\lib\\text.c", "struct counted_text { int count; };\n"
                                         "int text_length(const char *text) { return 0; }\n"
                                         "#define TEXT_LIMIT 2048\n");
    MakeFile("K:\\e1\\src\\main.c", "int main(void) { return 0; }\n");
    MakeFile("K:\\e1\\tags", "old_symbol\told.c\t/^old$/;\"\tf\n");

    // Default settings: the browser asks, preselected on the folder holding
    // tags, and the user confirms it.
    const ProcessResult run = RunHost("K:\\e1\\src\\lib\\text.c", "--run --browse ok --trace-beep");

    EXPECT_EQ(Lines{"browser-press: ok"}, Only(run.lines, "browser-press: "));
    const Lines expected =
        JapaneseUi() ? Lines{"status: 選択されたフォルダで " + kDefaultLine + " を実行します。",
                             "status: K:\\e1", "status: " + kDefaultLine + " を実行しています。",
                             "status: " + kDefaultLine + " を実行しました。"}
                     : Lines{"status: " + kDefaultLine + " will run in the selected folder.",
                             "status: K:\\e1", "status: " + kDefaultLine + " is running.",
                             "status: Ran " + kDefaultLine + "."};
    EXPECT_EQ(expected, Only(run.lines, "status: "));
    EXPECT_TRUE(Only(run.lines, "beep: ").empty());
    const std::string tags = FileContents("K:\\e1\\tags");
    EXPECT_EQ(std::string::npos, tags.find("old_symbol"));
    // ctags for Windows writes relative paths with escaped backslashes.
    for (const char* expected :
         {"text_length\tsrc\\\\lib\\\\text.c\t", "counted_text\tsrc\\\\lib\\\\text.c\t",
          "TEXT_LIMIT\tsrc\\\\lib\\\\text.c\t", "main\tsrc\\\\main.c\t"}) {
        EXPECT_NE(std::string::npos, tags.find(expected)) << expected << " in\n" << tags;
    }
    EXPECT_FALSE(Exists("K:\\e1\\tags.kestrel-new"));

    // The same ctags writing the tags file in place gives the same bytes.
    const ProcessResult inPlace =
        RunAndCapture("\"" + ProgramFolder() + "\\" + kDefaultLine.substr(1), "K:\\e1");
    ASSERT_TRUE(inPlace.started);
    EXPECT_EQ(0u, inPlace.exitCode);
    EXPECT_EQ(FileContents("K:\\e1\\tags"), tags);
}

TEST_F(EndToEndTest, RealCtagsEndedMidwayLeavesTheOldTagsWhole) {
    for (int i = 0; i < 2000; ++i) {
        MakeFile("K:\\e4\\m" + std::to_string(i / 100) + "\\f" + std::to_string(i) + ".c",
                 "int function_" + std::to_string(i) + "(void) { return 0; }\n");
    }
    const std::string old = "old_symbol\told.c\t/^old$/;\"\tf\n";
    MakeFile("K:\\e4\\tags", old);
    StoreFlag("AskFolder", 0);

    std::atomic<bool> hostEnded{false};
    ProcessResult run;
    std::thread host([&] {
        run = RunHost("K:\\e4\\m0\\f0.c", "--run --trace-beep");
        hostEnded = true;
    });
    // The temporary file is made before ctags starts: end ctags as soon as
    // it has written into it, as a crash or a kill would, long before it has
    // written everything.
    bool ended = false;
    while (!ended && !hostEnded) {
        const bool writing = !FileContents("K:\\e4\\tags.kestrel-new").empty() ||
                             FileContents("K:\\e4\\tags") != old;
        ended = writing && TerminateCtags();
        Sleep(ended ? 0 : 5);
    }
    host.join();

    ASSERT_TRUE(ended) << "ctags ran to its end before it could be stopped";
    EXPECT_EQ(old, FileContents("K:\\e4\\tags"));
    EXPECT_FALSE(Exists("K:\\e4\\tags.kestrel-new"));
    EXPECT_EQ("status: " + kDefaultLine + " を実行しましたがエラー終了しました。（終了コード 1）",
              Only(run.lines, "status: ").back());
    EXPECT_EQ((Lines{"beep: 0 thread=ui"}), Only(run.lines, "beep: "));
}

TEST_F(EndToEndTest, TwoEditorsAtOnceLeaveOneWholeOutput) {
    for (int i = 0; i < 400; ++i) {
        MakeFile("K:\\e5\\m" + std::to_string(i / 100) + "\\f" + std::to_string(i) + ".c",
                 "int function_" + std::to_string(i) + "(void) { return 0; }\n");
    }
    StoreFlag("AskFolder", 0);
    // Each editor gives ctags other options, through CTAGS, which it reads
    // first: the complete output of each, made by ctags directly.
    const char* const options[] = {"--fields=+n", "--fields=-n"};
    std::string outputs[2];
    for (int editor = 0; editor < 2; ++editor) {
        const ScopedVariable ctags("CTAGS", options[editor]);
        const ProcessResult direct =
            RunAndCapture("\"" + ProgramFolder() + "\\" + kDefaultLine.substr(1), "K:\\e5");
        EXPECT_EQ(0u, direct.exitCode);
        outputs[editor] = FileContents("K:\\e5\\tags");
    }
    ASSERT_NE(outputs[0], outputs[1]);

    const UniqueHandle ready(CreateSemaphoreA(nullptr, 0, 2, "kestrel-e5.ready"));
    const UniqueHandle start(CreateEventA(nullptr, TRUE, FALSE, "kestrel-e5"));
    const auto lastStatus = [](const ProcessResult& run) {
        const Lines texts = Only(run.lines, "status: ");
        return texts.empty() ? std::string() : texts.back();
    };
    for (int round = 0; round < 4; ++round) {
        const bool sync = round % 2 == 0;
        SCOPED_TRACE(sync ? "synchronous" : "background");
        StoreFlag("ExecSync", sync ? 1 : 0);
        MakeFile("K:\\e5\\tags", "old\told.c\t1\n");
        ResetEvent(start.Get());
        ProcessResult runs[2];
        std::thread hosts[2];
        std::atomic<int> answered{-1}; // the editor that ended first
        for (int editor = 0; editor < 2; ++editor) {
            const ScopedVariable ctags("CTAGS", options[editor]); // until its host has started
            hosts[editor] = std::thread([&runs, &answered, editor] {
                runs[editor] =
                    RunHost("K:\\e5\\m0\\f0.c",
                            "--run --trace-beep --wait-background --start-on kestrel-e5");
                int none = -1;
                answered.compare_exchange_strong(none, editor);
            });
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready.Get(), 60000)) << "host ready";
        }
        SetEvent(start.Get());
        // The winner's ctags is held until the other editor has answered:
        // how the two happen to be scheduled decides nothing.
        std::map<DWORD, UniqueHandle> held;
        for (const DWORD begun = GetTickCount(); answered < 0 && GetTickCount() - begun < 30000;
             Sleep(2)) {
            ForEachCtags(PROCESS_SUSPEND_RESUME, [&held](DWORD id, UniqueHandle process) {
                if (!held[id] && ProcessCall("NtSuspendProcess", process.Get()) == 0) {
                    held[id] = std::move(process);
                }
            });
        }
        const int first = answered;
        for (const auto& process : held) {
            ProcessCall("NtResumeProcess", process.second.Get());
        }
        for (std::thread& host : hosts) {
            host.join();
        }

        const std::string refused = "status: ctags を２重に起動することはできません。";
        const int ran = lastStatus(runs[0]) == refused ? 1 : 0;
        EXPECT_EQ(refused, lastStatus(runs[1 - ran]));
        EXPECT_EQ(1 - ran, first) << "the refused editor answered while ctags ran";
        EXPECT_EQ((Lines{"beep: 0 thread=ui"}), Only(runs[1 - ran].lines, "beep: "));
        EXPECT_NE(std::string::npos, lastStatus(runs[ran]).find(" を実行しました。"));
        EXPECT_TRUE(Only(runs[ran].lines, "beep: ").empty());
        EXPECT_EQ(outputs[ran], FileContents("K:\\e5\\tags")) << "one whole output";
        EXPECT_FALSE(Exists("K:\\e5\\tags.kestrel-new") || Exists("K:\\e5\\tags.kestrel-lock"));
    }
}

TEST_F(EndToEndTest, SettingsChangedInTheRegistryApplyToTheNextCommand) {
    MakeFile("K:\\e2\\work\\tags");
    MakeFile("K:\\e2\\work\\names");
    StoreText("ExecPath", FakeCtagsPath());
    StoreText("ExecOption", "--exit=0 ");
    StoreFlag("AskFolder", 0);

    const ProcessResult first = RunHost("K:\\e2\\work\\main.c", "--run");
    StoreText("TagsFileName", "names");
    StoreText("ExecOption", "--exit=3 ");
    const ProcessResult second = RunHost("K:\\e2\\work\\main.c", "--run --trace-beep");

    EXPECT_EQ("status: \"" + FakeCtagsPath() + "\" --exit=0  -f tags を実行しました。",
              Only(first.lines, "status: ").back());
    const std::string failing = "\"" + FakeCtagsPath() + "\" --exit=3  -f names";
    EXPECT_EQ(
        (Lines{"status: 選択されたフォルダで " + failing + " を実行します。",
               "status: K:\\e2\\work", "status: " + failing + " を実行しています。",
               "status: " + failing + " を実行しましたがエラー終了しました。（終了コード 3）"}),
        Only(second.lines, "status: "));
    EXPECT_EQ((Lines{"beep: 0 thread=ui"}), Only(second.lines, "beep: "));
}

TEST_F(EndToEndTest, HostMayUnloadTheLibraryWhileTheWatcherWaits) {
    MakeFile("K:\\e3\\work\\tags");
    StoreText("ExecPath", FakeCtagsPath());
    StoreText("ExecOption", "--delay=1500 --exit=2 ");
    StoreFlag("AskFolder", 0);
    StoreFlag("ExecSync", 0);

    const ProcessResult run = RunHost(
        "K:\\e3\\work\\main.c", "--run --trace-beep --wait-background --unload-after-command");

    // The watcher still ran after the unload: it beeped, then sent its text.
    const std::string completion =
        "status: ctags を実行しましたがエラー終了しました。（終了コード 2）";
    Lines order;
    std::copy_if(run.lines.begin(), run.lines.end(), std::back_inserter(order), [&](auto& line) {
        return line == "unloaded" || line == completion || line.rfind("beep: ", 0) == 0;
    });
    EXPECT_EQ(Lines({"unloaded", "beep: 0 thread=other", completion}), order);
    EXPECT_EQ("done", run.lines.back());
}

TEST_F(EndToEndTest, HostMayUnloadTheLibraryWhileASynchronousRunWaits) {
    MakeFile("K:\\e4\\work\\tags");
    const std::string gate = "K:\\e4\\gate";
    StoreText("ExecPath", FakeCtagsPath());
    StoreText("ExecOption", "--wait-file=" + gate + " --give-up=60000 ");
    StoreFlag("AskFolder", 0);
    const std::string record = StartFakeCtagsRecord();
    // Once ctags runs, another program has the editor free its plug-ins: the
    // message is handled inside the command's wait.
    std::thread other([&] {
        for (int i = 0; i < 3000 && ReadFakeCtagsRecords(record).empty(); ++i) {
            Sleep(20);
        }
        DWORD_PTR reply = 0;
        SendMessageTimeoutA(FindWindowA("KestrelHostWindow", nullptr), WM_APP + 2, 0, 0,
                            SMTO_NORMAL, 30000, &reply);
        MakeFile(gate);
    });
    const ProcessResult run = RunHost("K:\\e4\\work\\main.c", "--run --unload-on-message");
    other.join();
    EXPECT_EQ(Lines({"command", "unloaded", "command-returned", "done", "library-unloaded"}),
              Only(Only(run.lines, "status: ", false), "document-path: ", false));
}

} // namespace
} // namespace kestrel::test
