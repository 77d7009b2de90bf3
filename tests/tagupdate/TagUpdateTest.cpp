#include "tagupdate/CtagsRun.h"
#include "tagupdate/DiskGuard.h"
#include "tagupdate/TagUpdate.h"

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "plugin/ModuleStateForTests.h"
#include "plugin/UniqueAny.h"
#include "tagupdate/FolderBrowser.h"
#include "tagupdate/OffThreadWork.h"
#include "tagupdate/StatusText.h"
#include "tests/support/Dialogs.h"
#include "tests/support/EnvironmentGuard.h"
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
    odd.ExecPath = "\"C:\\ctags\\ctags.exe\""; // copied as Explorer gives it: one pair goes
    EXPECT_STREQ("\"C:\\ctags\\ctags.exe\"  -f my tags", BuildCommandLine(odd).Chars());
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
    EXPECT_EQ(static_cast<DWORD>(DETACHED_PROCESS | NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED),
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
    EXPECT_EQ(static_cast<DWORD>(NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED),
              starts[0].creationFlags);
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
constexpr UINT kHeld = WM_APP + 8; // the run is held: from the thread that ends it
constexpr int kQuitCode = 7;
struct AliveHost {
    WNDPROC original = nullptr;
    std::atomic<bool> held{true}, paintedWhileHeld{false};
    Lines dispatched;
    const Settings* nested = nullptr; // a command started by the question
    bool neverValid = false;          // paints that leave the window invalid
    int waits = 0, paintsSinceWait = 0;
    bool unbounded = false; // more than a thousand paints without a wait between
    std::function<void()> onHeld;
} alive;

LRESULT CALLBACK AliveHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    alive.paintedWhileHeld = alive.paintedWhileHeld || (message == WM_PAINT && alive.held);
    if (message == WM_KEYDOWN || message == WM_COMMAND) {
        alive.dispatched.push_back(message == WM_KEYDOWN ? "key" : "command");
    }
    if (message == kHeld) {
        alive.onHeld();
    }
    if (message == kQuestion && alive.nested != nullptr) {
        RunTagUpdate(*alive.nested, window);
    }
    if (message == WM_PAINT && alive.neverValid) {
        alive.paintsSinceWait = alive.waits == QueueWaits() ? alive.paintsSinceWait + 1 : 0;
        alive.waits = QueueWaits();
        alive.unbounded = alive.unbounded || alive.paintsSinceWait > 1000;
        alive.paintsSinceWait > 1000
            ? ValidateRect(window, nullptr)
            : RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
        return 0;
    }
    return message == kQuestion ? 42
                                : CallWindowProcA(alive.original, window, message, wParam, lParam);
}

TEST_F(SyncCommandTest, ServesSentMessagesAndPaintsButKeepsInputQueuedWhileItWaits) {
    // Held by ctags until its gate opens, or by a reader of the tags file
    // while the replacement retries. Behind no posted message, a WM_QUIT
    // comes out with the paint messages; Windows may hand it to the wait's
    // own peeks (`handBack`). The question starts a command inside this one
    // (`nested`). A paint comes alone, with no time-out to wake the wait
    // (`paintAlone`), or for a window that never validates itself.
    enum Kind { Plain, Nested, HandBack, PaintAlone, NeverValid };
    const struct {
        bool reader, input;
        Kind kind;
    } rows[] = {{false, true, Plain},      {false, false, Plain},    {true, true, Plain},
                {false, true, Nested},     {false, false, HandBack}, {true, false, HandBack},
                {false, true, PaintAlone}, {false, true, NeverValid}};
    for (const auto& [reader, input, kind] : rows) {
        SCOPED_TRACE(std::string(reader ? "reader" : "ctags") + (input ? " and input" : "") +
                     " kind " + std::to_string(kind));
        ClearEvents();
        ClearProcessStarts();
        const std::string folder = Project("alive" + std::to_string(reader) +
                                           std::to_string(input) + std::to_string(kind));
        alive.nested = kind == Nested ? &settings : nullptr;
        alive.neverValid = kind == NeverValid;
        alive.unbounded = false;
        WaitWithoutTimeOut(kind == PaintAlone);
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
            kind == HandBack ? HandBackQuit(kQuitCode) : PostQuitMessage(kQuitCode);
            if (kind != PaintAlone) {
                InvalidateRect(window, nullptr, TRUE);
            }
            const int waitsAtHold = QueueWaits();
            other = std::thread([&, waitsAtHold] {
                DWORD_PTR reply = 0;
                answered =
                    kind == PaintAlone || (SendMessageTimeoutA(window, kQuestion, 0, 0, SMTO_NORMAL,
                                                               30000, &reply) != 0 &&
                                           reply == 42);
                if (kind == PaintAlone) { // once the wait has begun, from this thread
                    while (QueueWaits() == waitsAtHold) {
                        Sleep(20);
                    }
                    alive.paintedWhileHeld = false;
                    InvalidateRect(window, nullptr, TRUE);
                }
                for (int i = 0; i < 1500 && !alive.paintedWhileHeld; ++i) {
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
        alive.onHeld = whileHeld;
        OnFailedMove(reader ? [window] { SendMessageA(window, kHeld, 0, 0); }
                            : std::function<void()>());
        RunTagUpdate(settings, window);
        alive.neverValid = false;
        WaitWithoutTimeOut(false);
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
        EXPECT_FALSE(alive.unbounded);
        Lines shown = Shown(folder, Outcome::Ran);
        if (kind == Nested) { // refused at once, and this one goes on
            shown.insert(shown.begin() + 3, {"beep", "S:ctags を２重に起動することはできません。"});
            EXPECT_EQ(1u, ProcessStarts().size());
        }
        EXPECT_EQ(shown, Transcript());
    }
}

ULONGLONG BusyMs() { // of every thread: the wait may be done on another one
    FILETIME times[4];
    GetProcessTimes(GetCurrentProcess(), &times[0], &times[1], &times[2], &times[3]);
    return (ULARGE_INTEGER{{times[2].dwLowDateTime, times[2].dwHighDateTime}}.QuadPart +
            ULARGE_INTEGER{{times[3].dwLowDateTime, times[3].dwHighDateTime}}.QuadPart) /
           10000;
}

TEST_F(SyncCommandTest, ReadsItsQueueEverySecondAndIdlesWithKeysQueued) {
    // Windows calls a thread hung that has neither read its queue nor waited
    // for input for five seconds. Key presses left queued must not make the
    // wait spin.
    const std::string folder = Project("s10");
    settings.ExecOption = "--exit=0 --delay=5000 ";
    SetForegroundWindow(host.Window());
    keybd_event('K', 0, 0, 0);
    PostMessageA(host.Window(), WM_KEYDOWN, 'K', 0);
    const ULONGLONG start = GetTickCount64(), busyBefore = BusyMs();
    RecordQueueReads(true);
    EXPECT_EQ(Shown(folder, Outcome::Ran), Command());
    EXPECT_LE(RecordQueueReads(false), 1500u);
    const ULONGLONG busy = BusyMs() - busyBefore, wall = GetTickCount64() - start;
    EXPECT_LT(busy * 20, wall) << busy << " ms busy in " << wall << " ms";
    keybd_event('K', 0, KEYEVENTF_KEYUP, 0);
    FakeHost::PumpUntil([] { return false; }, 100);
}

// A slow volume answers each free-space reading after 2 s; a huge first line
// of the tags file takes as long to read (800 MB without a line feed: 4.7 s).
decltype(&GetDiskFreeSpaceExW) g_freeSpace = nullptr;
decltype(&ReadFile) g_read = nullptr;
BOOL WINAPI SlowFreeSpace(LPCWSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total,
                          PULARGE_INTEGER free) {
    Sleep(2000);
    return g_freeSpace(folder, available, total, free);
}
BOOL WINAPI SlowRead(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlap) {
    Sleep(2000);
    return g_read(file, buffer, size, read, overlap);
}

TEST_F(SyncCommandTest, ReadsItsQueueWhileTheVolumeAndTheTagsFileAreSlow) {
    const std::string folder = Project("s11");
    MakeFile(folder + "\\tags", "a\tb\t1\n");
    const ImportRedirect volume("kernel32.dll", "GetDiskFreeSpaceExW",
                                reinterpret_cast<void*>(&SlowFreeSpace));
    const ImportRedirect file("kernel32.dll", "ReadFile", reinterpret_cast<void*>(&SlowRead));
    g_freeSpace = reinterpret_cast<decltype(g_freeSpace)>(volume.Original());
    g_read = reinterpret_cast<decltype(g_read)>(file.Original());
    ASSERT_TRUE(g_freeSpace && g_read);
    RecordQueueReads(true);
    EXPECT_EQ(Shown(folder, Outcome::Ran), Command());
    EXPECT_LE(RecordQueueReads(false), 1500u);
}

BOOL WINAPI FailedJobQuery(HANDLE, JOBOBJECTINFOCLASS, LPVOID, DWORD, LPDWORD) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

TEST_F(SyncCommandTest, RunWhoseJobCannotBeAskedEndsWithCtags) {
    const std::string folder = Project("s13");
    settings.ExecOption = "--exit=0 --delay=300 ";
    const ImportRedirect failing("kernel32.dll", "QueryInformationJobObject",
                                 reinterpret_cast<void*>(&FailedJobQuery));
    EXPECT_EQ(Shown(folder, Outcome::Ran), Command());
}

// Sends the window the id of the thread it runs on; null: out of memory.
void Report(void* window) {
    if (window == nullptr) {
        throw std::bad_alloc();
    }
    SendStatusText(static_cast<HWND>(window), std::to_string(GetCurrentThreadId()).c_str());
}

TEST_F(CommandTest, WorkOffThreadServesTheCallersWindowsUntilItHasReturned) {
    const Lines here = {"S:" + std::to_string(GetCurrentThreadId())};
    RunServingMessages(Report, host.Window());
    { const OffThreadWork neverLetGo(Report, host.Window()); } // the work is done by Run only
    EXPECT_EQ(1u, Transcript().size());
    EXPECT_NE(here, Transcript()) << "on a thread of its own";
    EXPECT_THROW(RunServingMessages(Report, nullptr), std::bad_alloc);
    ClearEvents();
    const FailingCalls failing(Calls::ThreadStarts);
    RunServingMessages(Report, host.Window());
    EXPECT_EQ(here, Transcript()) << "without a thread, on the caller's";
}

TEST_F(SyncCommandTest, NoThreadToEndTheRunStartsNothing) {
    const std::string folder = Project("s12");
    const FailingCalls failing(Calls::ThreadStarts);
    EXPECT_EQ(Shown(folder, Outcome::CouldNotRun), Command());
    EXPECT_TRUE(ProcessStarts().empty());
}

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

TEST_F(CommandTest, EndsWithAllThatCtagsStartedOrStopsThemBeforeTheDiskIsFull) {
    // Free space at the start and while ctags runs: it may take all but the
    // lower of 512 MB and half of what was free. A ctags held forever is
    // stopped, or the row fails when it gives up; a quick one is stopped by
    // the reading right after it has been let go. A wrapper's ctags writes on
    // after the wrapper has returned (--outlive).
    constexpr ULONGLONG kMB = 1 << 20;
    const char* held = "--exit=0 --wait-file=K:\\never --give-up=30000 ";
    const char* slow = "--exit=0 --delay=1500 ";
    const std::string outliving = "--outlive " + std::string(held);
    const struct {
        ULONGLONG atStart, later;
        bool stopped;
        const char* options;
    } rows[] = {{10240 * kMB, 100 * kMB, true, held},
                {10240 * kMB, 600 * kMB, false, slow},
                {600 * kMB, 400 * kMB, false, slow},
                {kUnreadable, 0, false, slow},
                {10240 * kMB, 100 * kMB, true, "--exit=0 "},
                {0, 0, false, "--exit=0 --outlive --delay=300 "},
                {10240 * kMB, 100 * kMB, true, outliving.c_str()}};
    int row = 0;
    for (const bool sync : {true, false}) {
        for (const auto& [atStart, later, stopped, options] : rows) {
            SCOPED_TRACE(std::to_string(atStart / kMB) + " MB, then " +
                         std::to_string(later / kMB) + ", " + options +
                         (sync ? "synchronous" : "background"));
            ClearEvents();
            const std::string folder = Project("disk" + std::to_string(++row));
            MakeFile(folder + "\\tags", "old\told.c\t1\n");
            settings.ExecSync = sync;
            settings.ExecOption = options;
            FakeFreeSpace(atStart, later);
            RunTagUpdate(settings, host.Window());
            ASSERT_TRUE(WaitForIdle());
            FakeFreeSpace(0);
            EXPECT_EQ(Shown(folder, stopped ? Outcome::Stopped : Outcome::Ran), Transcript());
            EXPECT_EQ(stopped, FileContents(folder + "\\tags") == "old\told.c\t1\n");
            EXPECT_FALSE(Exists(folder + "\\tags.kestrel-new") ||
                         Exists(folder + "\\tags.kestrel-lock"));
            EXPECT_FALSE(IsRunning("FakeCtags.exe"));
        }
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
    MakeFile("K:\\s5\\main.c");
    host.SetDocumentPath("K:\\s5\\main.c");
    // The process's remembered folder on K: is elsewhere than the root.
    ScopedCurrentFolder("K:\\s5\\deep");

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
    // A path that fills the buffer may have been cut: it is none.
    host.SetDocumentPath(std::string(300, 'p'), FakeHost::PathAnswer::Unterminated);
    EXPECT_STREQ("", GetDocumentPath(host.Window()).Chars());
    host.SetDocumentPath(std::string(259, 'p'));
    EXPECT_STREQ("", GetDocumentPath(host.Window()).Chars());
    host.SetDocumentPath(std::string(258, 'p'));
    EXPECT_STREQ("", GetDocumentPath(host.Window()).Chars());
    host.SetDocumentPath("", FakeHost::PathAnswer::Nothing);
    EXPECT_STREQ("", GetDocumentPath(host.Window()).Chars());
    MakeFile("K:\\x\\main.c");
    host.SetDocumentPath("K:\\x\\main.c");
    EXPECT_STREQ("K:\\x\\main.c", GetDocumentPath(host.Window()).Chars());
    // 259 bytes, the whole buffer, deep in double-byte names: the document.
    // Cut at 258 bytes, naming a folder above it or nothing: no path, so no
    // ancestor's tags file is rewritten without asking.
    std::string folder = "K:\\x";
    for (int i = 0; i < 120; ++i) {
        folder += (i % 40 == 0 ? "\\" : "") + Cp932("あ");
    }
    folder += "\\xxxxxxx"; // 255 bytes
    MakeFile(folder + "\\m.c");
    MakeFolders(folder + "\\ab");
    for (const auto& [answer, path] :
         {std::pair{folder + "\\m.c", folder + "\\m.c"}, std::pair{folder + "\\ab", std::string()},
          std::pair{folder + "\\ac", std::string()},
          std::pair{std::string("K:\\x"), std::string()}}) {
        host.SetDocumentPath(answer);
        EXPECT_EQ(path, GetDocumentPath(host.Window()).Chars());
    }
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
    MakeFile("K:\\b3\\work\\src\\main.c");
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
