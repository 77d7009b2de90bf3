#include "tagupdate/CtagsRun.h"
#include "tagupdate/TagUpdate.h"

#include <shlobj.h>

#include <atomic>
#include <thread>

#include "plugin/ModuleStateForTests.h"
#include "plugin/UniqueAny.h"
#include "tagupdate/FolderBrowser.h"
#include "tagupdate/FolderSearch.h"
#include "tagupdate/Paths.h"
#include "tests/support/Dialogs.h"
#include "tests/support/ImportRedirect.h"
#include "tests/tagupdate/CommandFixture.h"

namespace kestrel::test {
namespace {

TEST(CommandLine, DefaultsGiveTheFortyFiveCharacterLine) {
    const CountedString line = BuildCommandLine(Settings());
    EXPECT_STREQ("\"ctags.exe\" -R -V --tag-relative=yes  -f tags", line.Chars());
    EXPECT_EQ(45, line.Length());
}

TEST(CommandLine, TakesOptionsAndNameAsStored) {
    Settings odd;
    odd.ExecPath = "C:\\Program Files\\ctags\\ctags.exe";
    odd.ExecOption = "";
    odd.TagsFileName = "my tags";
    EXPECT_STREQ("\"C:\\Program Files\\ctags\\ctags.exe\"  -f my tags",
                 BuildCommandLine(odd).Chars());
}

struct SearchCase {
    const char* name;
    const char* document;             // UTF-8, converted to the code page
    std::vector<const char*> objects; // files named tags; a trailing \ makes a folder
    const char* found;
    std::vector<const char*> lookups;
    DWORD firstLookupError = 0; // the first candidate cannot be checked for this reason
};

SearchCase Search(const char* name, const char* document, std::vector<const char*> objects,
                  const char* found, std::vector<const char*> lookups, DWORD error = 0) {
    return {name, document, std::move(objects), found, std::move(lookups), error};
}

class FolderSearchTest : public testing::TestWithParam<SearchCase> {};

TEST_P(FolderSearchTest, FindsNearestAncestorHoldingTags) {
    ASSERT_TRUE(InstallHooks());
    const SearchCase& c = GetParam();
    for (const char* object : c.objects) {
        const std::string path = Cp932(object);
        if (path.back() == '\\') {
            MakeFolders(path.substr(0, path.size() - 1));
        } else {
            MakeFile(path, "!_TAG_FILE_FORMAT\t2\n");
        }
    }
    FailFileLookup(c.firstLookupError ? Cp932(c.lookups.front()) : "", c.firstLookupError);
    RecordFileLookups(true);
    const CountedString found =
        FindTagsFolder(CountedString(Cp932(c.document).c_str()), CountedString("tags"));
    FailFileLookup("", 0);
    std::vector<std::string> lookups;
    for (const std::string& lookup : FileLookups()) {
        lookups.push_back(Utf8(lookup));
    }
    RecordFileLookups(false);

    EXPECT_EQ(c.found, Utf8(found.Chars()));
    EXPECT_EQ(std::vector<std::string>(c.lookups.begin(), c.lookups.end()), lookups);
    for (const char* object : c.objects) { // K:\tags would be found by every later case
        RemoveFile(Cp932(object));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FolderSearchTest,
    testing::Values(
        Search("Parent", "K:\\a\\work\\src\\main.c", {"K:\\a\\work\\tags"}, "K:\\a\\work",
               {"K:\\a\\work\\src\\tags", "K:\\a\\work\\tags"}),
        Search("OwnFolderFirst", "K:\\b\\work\\src\\main.c",
               {"K:\\b\\work\\tags", "K:\\b\\work\\src\\tags"}, "K:\\b\\work\\src",
               {"K:\\b\\work\\src\\tags"}),
        Search("FolderNamedTags", "K:\\c\\work\\src\\main.c", {"K:\\c\\work\\tags\\"},
               "K:\\c\\work", {"K:\\c\\work\\src\\tags", "K:\\c\\work\\tags"}),
        // 表 is 0x95 0x5C in code page 932: its second byte is no separator.
        Search("DoubleByteFolderHoldsTags", "K:\\d\\表\\src\\main.c", {"K:\\d\\表\\tags"},
               "K:\\d\\表", {"K:\\d\\表\\src\\tags", "K:\\d\\表\\tags"}),
        Search("SearchPassesDoubleByteFolder", "K:\\e\\表\\main.c", {"K:\\e\\tags"}, "K:\\e",
               {"K:\\e\\表\\tags", "K:\\e\\tags"}),
        Search("NoTagsAnywhere", "K:\\f\\work\\main.c", {}, "",
               {"K:\\f\\work\\tags", "K:\\f\\tags", "K:\\tags"}),
        Search("DriveRoot", "K:\\g\\main.c", {"K:\\tags"}, "K:", {"K:\\g\\tags", "K:\\tags"}),
        // Above a share's root lie a server name and nothing: the search ends.
        Search("NetworkShareRoot", "\\\\srv\\share\\d\\main.c", {}, "",
               {"\\\\srv\\share\\d\\tags", "\\\\srv\\share\\tags"}),
        Search("LongFormShareRoot", "\\\\?\\UNC\\srv\\share\\d\\main.c", {}, "",
               {"\\\\?\\UNC\\srv\\share\\d\\tags", "\\\\?\\UNC\\srv\\share\\tags"}),
        Search("EmptyPath", "", {}, "", {}), Search("NoBackslash", "main.c", {}, "", {}),
        // A candidate too long to check ends the search: the tags file may be
        // right there, and an ancestor's would send ctags to the wrong tree.
        Search("TooLongEndsTheSearch", "K:\\h\\work\\src\\main.c", {"K:\\h\\work\\tags"}, "",
               {"K:\\h\\work\\src\\tags"}, ERROR_FILENAME_EXCED_RANGE),
        Search("PathNotFoundWalksOn", "K:\\i\\work\\src\\main.c", {"K:\\i\\work\\tags"},
               "K:\\i\\work", {"K:\\i\\work\\src\\tags", "K:\\i\\work\\tags"},
               ERROR_PATH_NOT_FOUND),
        Search("AccessDeniedWalksOn", "K:\\j\\work\\src\\main.c", {"K:\\j\\work\\tags"},
               "K:\\j\\work", {"K:\\j\\work\\src\\tags", "K:\\j\\work\\tags"},
               ERROR_ACCESS_DENIED)),
    [](const testing::TestParamInfo<SearchCase>& info) { return info.param.name; });

TEST(DirectoryOf, TakesTextBeforeLastSeparator) {
    EXPECT_STREQ("K:\\work", DirectoryOf(CountedString("K:\\work\\main.c")).Chars());
    EXPECT_STREQ("K:", DirectoryOf(CountedString("K:\\main.c")).Chars());
    EXPECT_STREQ("", DirectoryOf(CountedString("main.c")).Chars());
    EXPECT_STREQ("", DirectoryOf(CountedString()).Chars());
    EXPECT_STREQ("K:", DirectoryOf(CountedString(Cp932("K:\\表").c_str())).Chars());
}

// Records what the browse callback sends, in place of SendMessageA.
LRESULT WINAPI RecordSend(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    RecordEvent(Event::Status, std::to_string(reinterpret_cast<UINT_PTR>(window)) + " " +
                                   std::to_string(message) + " " + std::to_string(wParam) + " " +
                                   (lParam ? reinterpret_cast<const char*>(lParam) : "(null)"));
    return 0;
}

TEST(BrowseCallback, SelectsInitialFolderOnceOpened) {
    ClearEvents();
    const ImportRedirect send("user32.dll", "SendMessageA", reinterpret_cast<void*>(&RecordSend));
    ASSERT_NE(nullptr, send.Original());
    HWND browser = reinterpret_cast<HWND>(0x1234);
    const char folder[] = "K:\\work";
    EXPECT_EQ(0, BrowseCallback(browser, BFFM_INITIALIZED, 0, reinterpret_cast<LPARAM>(folder)));
    EXPECT_EQ(0, BrowseCallback(browser, BFFM_INITIALIZED, 0, 0));
    EXPECT_EQ(0, BrowseCallback(browser, BFFM_SELCHANGED, 0, reinterpret_cast<LPARAM>(folder)));
    EXPECT_EQ(Lines({"S:4660 " + std::to_string(BFFM_SETSELECTIONA) + " 1 K:\\work"}),
              Transcript());
}

using SyncCommandTest = CommandTest;

TEST_F(SyncCommandTest, FoundFolderRunsWithoutAsking) {
    const std::string folder = Project("s1", "\\src");

    EXPECT_EQ(Shown(folder, Outcome::Ran), Command());
    EXPECT_EQ(Announced(), "S:" + Utf8(LastStatusText().Chars()));
    FakeCtagsRecord run = OnlyRun();
    EXPECT_EQ("\"" + Utf8(FakeCtagsPath()) + "\" --exit=0  -f tags.kestrel-new", run["cmdline"]);
    EXPECT_EQ(folder, run["cwd"]);
    EXPECT_TRUE(Exists(folder + "\\tags"));

    const auto starts = ProcessStarts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(static_cast<DWORD>(DETACHED_PROCESS | NORMAL_PRIORITY_CLASS),
              starts[0].creationFlags);
    EXPECT_EQ(sizeof(STARTUPINFOA), starts[0].startupSize);
    EXPECT_TRUE(starts[0].applicationNameNull);
    EXPECT_TRUE(starts[0].environmentNull);
    EXPECT_FALSE(starts[0].inheritHandles);
}

TEST_F(SyncCommandTest, ShowConsoleDropsDetachedFlag) {
    const std::string folder = Project("s2");
    settings.ShowConsole = true;

    EXPECT_EQ(Shown(folder, Outcome::Ran), Command());
    const auto starts = ProcessStarts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(static_cast<DWORD>(NORMAL_PRIORITY_CLASS), starts[0].creationFlags);
}

TEST_F(SyncCommandTest, ErrorExitBeepsBeforeErrorText) {
    const std::string folder = Project("s3");
    settings.ExecOption = "--exit=1 ";
    EXPECT_EQ(Shown(folder, Outcome::RanWithError), Command());
}

TEST_F(SyncCommandTest, RunningTextArrivesWhileCtagsRuns) {
    // ctags ends only once the editor has shown that it runs; without that
    // text it gives up, with an error.
    const std::string folder = Project("s9");
    const std::string gate = folder + "\\gate";
    settings.ExecOption = ("--exit=0 --wait-file=" + gate + " --give-up=10000 ").c_str();
    host.OnStatusText([&](const std::string& text) {
        if ("S:" + Utf8(text) == Running()) {
            MakeFile(gate);
        }
    });
    EXPECT_EQ(Shown(folder, Outcome::Ran), Command());
    host.OnStatusText(nullptr);
}

// The host window while a command waits: it answers a question that
// another thread sends, and notes paints and the posted messages it gets.
constexpr UINT kQuestion = WM_APP + 7;
constexpr int kQuitCode = 7;
struct AliveHost {
    WNDPROC original = nullptr;
    std::atomic<bool> held{true}, paintedWhileHeld{false};
    Lines dispatched;
} alive;

LRESULT CALLBACK AliveHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    alive.paintedWhileHeld = alive.paintedWhileHeld || (message == WM_PAINT && alive.held);
    if (message == WM_KEYDOWN || message == WM_COMMAND) {
        alive.dispatched.push_back(message == WM_KEYDOWN ? "key" : "command");
    }
    return message == kQuestion ? 42
                                : CallWindowProcA(alive.original, window, message, wParam, lParam);
}

TEST_F(SyncCommandTest, ServesSentMessagesAndPaintsButKeepsInputQueuedWhileItWaits) {
    // Held by ctags until its gate opens, or by a reader of the tags file
    // while the replacement retries. Behind no posted message, a WM_QUIT
    // comes out with the paint messages.
    const struct { bool reader, input; } rows[] = {{false, true}, {false, false}, {true, true}};
    for (const auto& [reader, input] : rows) {
        SCOPED_TRACE(std::string(reader ? "reader" : "ctags") + (input ? " and input" : ""));
        ClearEvents();
        const std::string folder =
            Project("alive" + std::to_string(reader) + std::to_string(input));
        const std::string gate = folder + "\\gate";
        settings.ExecOption =
            reader ? "--exit=0 " : ("--exit=0 --wait-file=" + gate + " --give-up=10000 ").c_str();
        UniqueFile tagsReader(reader
                                  ? CreateFileA((folder + "\\tags").c_str(), GENERIC_READ,
                                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
                                  : nullptr);
        HWND window = host.Window();
        alive.held = true;
        alive.paintedWhileHeld = false;
        alive.dispatched.clear();
        alive.original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AliveHostProc)));
        std::atomic<bool> answered{false};
        std::thread other;
        const auto whileHeld = [&] {
            if (other.joinable()) {
                return;
            }
            if (input) {
                PostMessageA(window, WM_KEYDOWN, 'K', 0);
                PostMessageA(window, WM_COMMAND, 100, 0);
            }
            PostQuitMessage(kQuitCode);
            InvalidateRect(window, nullptr, TRUE);
            other = std::thread([&] {
                DWORD_PTR reply = 0;
                answered =
                    SendMessageTimeoutA(window, kQuestion, 0, 0, SMTO_NORMAL, 1000, &reply) != 0 &&
                    reply == 42;
                for (int i = 0; i < 100 && !alive.paintedWhileHeld; ++i) {
                    Sleep(20);
                }
                alive.held = false;
                reader ? tagsReader.Reset() : MakeFile(gate);
            });
        };
        host.OnStatusText([&](const std::string& text) {
            if (!reader && "S:" + Utf8(text) == Running()) {
                whileHeld();
            }
        });
        OnFailedMove(reader ? whileHeld : std::function<void()>());
        RunTagUpdate(settings, window);
        alive.dispatched.push_back("returned");
        host.OnStatusText(nullptr);
        OnFailedMove(nullptr);
        if (other.joinable()) {
            other.join();
        }
        bool quit = false;
        for (const ULONGLONG end = GetTickCount64() + 2000; !quit && GetTickCount64() < end;) {
            MSG message;
            if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                quit = message.message == WM_QUIT && message.wParam == kQuitCode;
                DispatchMessageA(&message);
            }
        }
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(alive.original));

        EXPECT_TRUE(answered) << "the question sent while held";
        EXPECT_TRUE(alive.paintedWhileHeld);
        EXPECT_EQ(input ? Lines({"returned", "key", "command"}) : Lines({"returned"}),
                  alive.dispatched);
        EXPECT_TRUE(quit) << "WM_QUIT posted while held";
        EXPECT_EQ(Shown(folder, Outcome::Ran), Transcript());
    }
}

TEST_F(SyncCommandTest, UnreadableExitCodeCountsAsError) {
    const std::string folder = Project("s8");
    const FailingCalls failing(Calls::ExitCodeQueries);
    EXPECT_EQ(Shown(folder, Outcome::RanWithError), Command());
}

TEST_F(SyncCommandTest, ProgramThatCannotStartReportsWithoutBeep) {
    const std::string folder = Project("s4");
    MakeFile(folder + "\\tags", "Notes\n"); // refused by ctags, which is not there to run
    settings.ExecPath = "K:\\s4\\no such ctags.exe";
    EXPECT_EQ(Shown(folder, Outcome::CouldNotRun), Command());
}

TEST_F(SyncCommandTest, DriveRootRunsInTheRootItself) {
    MakeFolders("K:\\s5\\deep");
    MakeFile("K:\\tags");
    host.SetDocumentPath("K:\\s5\\main.c");
    // The process's remembered folder on K: is elsewhere than the root.
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA("K:\\s5\\deep");
    SetCurrentDirectoryA(previous);

    const Lines shown = Command();
    RemoveFile("K:\\tags");

    EXPECT_EQ(Shown("K:", Outcome::Ran), shown);
    EXPECT_EQ("K:\\", OnlyRun()["cwd"]);
}

TEST_F(SyncCommandTest, LongCommandLineReachesCtagsWholeWhileTextsAreCut) {
    Project("s6");
    const std::string many = "--" + std::string(2500, 'v'); // an option: ctags reads no operand
    settings.ExecOption = ("--exit=0 " + many + " ").c_str();

    RunTagUpdate(settings, host.Window());

    EXPECT_EQ("\"" + Utf8(FakeCtagsPath()) + "\" --exit=0 " + many + "  -f tags.kestrel-new",
              OnlyRun()["cmdline"]);
    const auto texts = StatusTexts();
    ASSERT_EQ(4u, texts.size());
    EXPECT_EQ(2048u, texts[0].size());
    EXPECT_EQ(2048u, texts[3].size());
}

TEST_F(SyncCommandTest, RunningBackgroundRefusesAfterFolderDecision) {
    const std::string folder = Project("s7");
    SetRunningMarker(host.Window());
    const Lines shown = Command();
    ClearRunningMarker();

    EXPECT_EQ(Shown(folder, Outcome::Refused), shown);
    EXPECT_TRUE(ProcessStarts().empty());
}

TEST_F(SyncCommandTest, UnterminatedOrMissingAnswerReadsSafely) {
    host.SetDocumentPath(std::string(300, 'p'), FakeHost::PathAnswer::Unterminated);
    EXPECT_EQ(std::string(259, 'p'), GetDocumentPath(host.Window()).Chars());
    host.SetDocumentPath("", FakeHost::PathAnswer::Nothing);
    EXPECT_STREQ("", GetDocumentPath(host.Window()).Chars());
    host.SetDocumentPath("K:\\x\\main.c");
    EXPECT_STREQ("K:\\x\\main.c", GetDocumentPath(host.Window()).Chars());
}

// Folder decisions through the real shell folder browser.
class BrowserCommandTest : public CommandTest {
protected:
    // Runs the command, pressing `button` in the browser that it opens.
    Answered CommandAnswering(int button) {
        return AnswerDialog(button, [&] { RunTagUpdate(settings, host.Window()); });
    }
};

TEST_F(BrowserCommandTest, CancelShowsOnlyTheAnnouncement) {
    Project("b1");
    settings.AskFolder = true;
    EXPECT_TRUE(CommandAnswering(IDCANCEL).pressed);
    EXPECT_EQ(Lines({Announced()}), Transcript());
    EXPECT_TRUE(ProcessStarts().empty());
}

TEST_F(BrowserCommandTest, AskFolderConfirmsPreselectedFoundFolder) {
    const std::string folder = Project("b2", "\\src");
    settings.AskFolder = true;
    const std::size_t browsers = BrowserSetups().size();

    const Answered browser = CommandAnswering(IDOK);

    const std::string title = Cp932("tagsを生成するフォルダを選択してください");
    EXPECT_EQ(title, browser.prompt);
    const std::vector<BrowserSetup> setups = BrowserSetups();
    ASSERT_EQ(browsers + 1, setups.size());
    const BrowserSetup& setup = setups.back();
    EXPECT_EQ(host.Window(), setup.owner);
    EXPECT_TRUE(setup.rootNull);
    EXPECT_EQ(0x0341u, setup.flags);
    EXPECT_EQ(title, setup.title);
    EXPECT_EQ(reinterpret_cast<void*>(&BrowseCallback), setup.callback);
    EXPECT_EQ(folder, setup.initial);
    EXPECT_EQ(Shown(folder, Outcome::Ran), Transcript());
    EXPECT_EQ(folder, OnlyRun()["cwd"]);
}

TEST_F(BrowserCommandTest, NoTagsOpensBrowserOnDocumentFolderEvenWithoutAsking) {
    MakeFolders("K:\\b3\\work\\src");
    host.SetDocumentPath("K:\\b3\\work\\src\\main.c");
    settings.AskFolder = false;

    EXPECT_TRUE(CommandAnswering(IDOK).pressed);
    EXPECT_EQ(Shown("K:\\b3\\work\\src", Outcome::Ran), Transcript());
}

TEST_F(BrowserCommandTest, RefusalStillAsksForTheFolderFirst) {
    const std::string folder = Project("b4");
    settings.AskFolder = true;
    SetRunningMarker(host.Window());
    const Answered browser = CommandAnswering(IDOK);
    ClearRunningMarker();

    EXPECT_TRUE(browser.pressed);
    EXPECT_EQ(Shown(folder, Outcome::Refused), Transcript());
    EXPECT_TRUE(ProcessStarts().empty());
}

TEST_F(BrowserCommandTest, EmptyDocumentPathOpensBrowserWithoutPreselection) {
    host.SetDocumentPath("");
    RecordFileLookups(true);

    const Answered browser = CommandAnswering(IDCANCEL);

    EXPECT_TRUE(FileLookups().empty());
    RecordFileLookups(false);
    EXPECT_TRUE(browser.pressed);
    EXPECT_EQ(Lines({Announced()}), Transcript());
}

} // namespace
} // namespace kestrel::test
