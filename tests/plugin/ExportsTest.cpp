// Kestrel.dll as the editor sees it: loaded with LoadLibrary, reached only
// through its exports.
#include <windows.h>

#include <atomic>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/ImportPatch.h"
#include "host/PlugIn.h"
#include "tests/support/Cp932.h"
#include "tests/support/Dialogs.h"
#include "tests/support/EventLog.h"
#include "tests/support/FakeHost.h"
#include "tests/support/Hooks.h"
#include "tests/support/Sandbox.h"
#include "tests/support/StoredSettings.h"
#include "tests/support/UiLanguage.h"

namespace kestrel::test {
namespace {

using QueryStatusFunction = BOOL(WINAPI*)(HWND, LPBOOL);
using OnEventsFunction = void(WINAPI*)(HWND, UINT, LPARAM);
using IdFunction = UINT(WINAPI*)();

// The names in the library's export directory.
std::set<std::string> ExportedNames(HMODULE module) {
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const IMAGE_EXPORT_DIRECTORY* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const DWORD* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::set<std::string> result;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        result.insert(reinterpret_cast<const char*>(base + names[i]));
    }
    EXPECT_EQ(exports->NumberOfNames, exports->NumberOfFunctions);
    return result;
}

class ExportsTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(plugIn.Load(host::DefaultPlugInPath())) << "Kestrel.dll beside the test";
        ASSERT_TRUE(SteadyProcessStarts(plugIn.Module()));
        ClearEvents();
        DeleteStoredSettings();
    }
    void TearDown() override { DeleteStoredSettings(); }
    LRESULT Query(UINT code, WPARAM first = 0, LPARAM second = 0) const {
        LRESULT result = 0;
        EXPECT_TRUE(plugIn.PlugInProc(host.Window(), code, first, second, result));
        return result;
    }
    // A document in `folder`, which holds a tags file; the command runs the
    // fake ctags there without asking.
    void PrepareCommand(const std::string& folder) {
        MakeFolders(folder);
        MakeFile(folder + "\\tags");
        MakeFile(folder + "\\main.c");
        host.SetDocumentPath(folder + "\\main.c");
        StoreFlag("AskFolder", 0);
        StoreText("ExecPath", FakeCtagsPath());
        onCommand = plugIn.Export<void(WINAPI*)(HWND)>("OnCommand");
    }
    host::PlugIn plugIn;
    FakeHost host;
    void(WINAPI* onCommand)(HWND) = nullptr;
};

TEST_F(ExportsTest, ExportsExactlyTheSevenUndecoratedNames) {
    EXPECT_EQ((std::set<std::string>{"OnCommand", "QueryStatus", "OnEvents", "GetMenuTextID",
                                     "GetStatusMessageID", "GetBitmapID", "PlugInProc"}),
              ExportedNames(plugIn.Module()));
}

TEST_F(ExportsTest, ConstantAnswers) {
    EXPECT_EQ(1u, plugIn.Export<IdFunction>("GetMenuTextID")());
    EXPECT_EQ(2u, plugIn.Export<IdFunction>("GetStatusMessageID")());
    EXPECT_EQ(101u, plugIn.Export<IdFunction>("GetBitmapID")());

    BOOL checked = TRUE;
    EXPECT_EQ(TRUE, plugIn.Export<QueryStatusFunction>("QueryStatus")(host.Window(), &checked));
    EXPECT_EQ(FALSE, checked);
    EXPECT_EQ(TRUE, plugIn.Export<QueryStatusFunction>("QueryStatus")(host.Window(), nullptr));
}

TEST_F(ExportsTest, QueryTable) {
    struct Row {
        UINT code;
        WPARAM first;
        LRESULT expected;
    };
    const Row rows[] = {
        {0x0900, 0, 1},   {0x0903, 0, 0},   {0x0905, 0, 0},   {0x0906, 0, 1}, {0x0908, 3, 102},
        {0x0908, 2, 101}, {0x0908, 1, 102}, {0x0908, 0, 101}, {0x0909, 0, 0}, {0x08FF, 0, 0},
        {0x090A, 0, 0},   {0, 0, 0},        {0xFFFF, 1, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.expected, Query(row.code, row.first))
            << "query 0x" << std::hex << row.code << " with " << row.first;
    }
    EXPECT_TRUE(Events().empty()); // no query above talks to the host
}

TEST_F(ExportsTest, NameAndVersionQueriesMeasureAndCopy) {
    EXPECT_EQ(8, Query(0x0902, 0, 0));
    EXPECT_EQ(14, Query(0x0904, 0, 0));

    char buffer[16] = "###############";
    EXPECT_EQ(8, Query(0x0902, 4, reinterpret_cast<LPARAM>(buffer)));
    EXPECT_EQ(std::string("Kes\0#", 5), std::string(buffer, 5));

    EXPECT_EQ(8, Query(0x0902, sizeof buffer, reinterpret_cast<LPARAM>(buffer)));
    EXPECT_STREQ("Kestrel", buffer);
    EXPECT_EQ(14, Query(0x0904, sizeof buffer, reinterpret_cast<LPARAM>(buffer)));
    EXPECT_STREQ("0.3 by Tobrin", buffer);
}

// Messages 0x0802 the plug-in sent to a window, as "wParam/lParam".
std::vector<std::string> g_sent;
LRESULT CALLBACK RecordEventValue(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == 0x0802) {
        g_sent.push_back(std::to_string(wParam) + "/" + std::to_string(lParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(ExportsTest, EventsRememberThenSendTheValue) {
    HWND window = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordEventValue));
    const OnEventsFunction onEvents = plugIn.Export<OnEventsFunction>("OnEvents");
    g_sent.clear();

    onEvents(window, 0x0040, 5); // nothing remembered yet
    onEvents(window, 0x0440, 42);
    onEvents(window, 0x0040, 7);
    onEvents(window, 0x0400, 9);  // remembers, sends nothing
    onEvents(window, 0x0001, 3);  // ignored
    onEvents(window, 0xFFBF, 11); // every bit but 0x40: remembers 11
    onEvents(window, 0x0040, 0);

    EXPECT_EQ((std::vector<std::string>{"0/0", "42/0", "42/0", "11/0"}), g_sent);
    DestroyWindow(window);
}

TEST_F(ExportsTest, UninstallAsksAndDeletesOnlyOnYes) {
    StoreText("TagsFileName", "mytags");

    const Answered no = AnswerDialog(IDNO, [&] { EXPECT_EQ(0, Query(0x0907)); });
    EXPECT_TRUE(no.pressed);
    EXPECT_EQ("EmEditor", no.title);
    EXPECT_EQ(JapaneseUi() ? Cp932("アンインストールしてもよろしいですか？")
                           : "Are you sure you want to uninstall?",
              no.prompt);
    EXPECT_TRUE(StoredSettingsExist());

    EXPECT_TRUE(AnswerDialog(IDYES, [&] { EXPECT_EQ(1, Query(0x0907)); }).pressed);
    EXPECT_FALSE(StoredSettingsExist());
    // No key left: still 1.
    EXPECT_TRUE(AnswerDialog(IDYES, [&] { EXPECT_EQ(1, Query(0x0907)); }).pressed);
}

TEST_F(ExportsTest, PropertiesQueryAnswersOneWhateverTheOutcome) {
    const Answered cancel = AnswerDialog(IDCANCEL, [&] { EXPECT_EQ(1, Query(0x0901)); });
    EXPECT_TRUE(cancel.pressed);
    EXPECT_EQ(JapaneseUi() ? Cp932("Kestrelのプロパティ") : "Kestrel Properties", cancel.title);
}

TEST_F(ExportsTest, CommandReadsSettingsAfreshEachTime) {
    PrepareCommand("K:\\x1\\work");
    MakeFile("K:\\x1\\work\\other");

    onCommand(host.Window());
    StoreText("TagsFileName", "other");
    onCommand(host.Window());

    const std::string line = "\"" + FakeCtagsPath() + "\" -R -V --tag-relative=yes  -f ";
    EXPECT_EQ((std::vector<std::string>{"S:選択されたフォルダで " + line + "tags を実行します。",
                                        "S:K:\\x1\\work", "S:" + line + "tags を実行しています。",
                                        "S:" + line + "tags を実行しました。",
                                        "S:選択されたフォルダで " + line + "other を実行します。",
                                        "S:K:\\x1\\work", "S:" + line + "other を実行しています。",
                                        "S:" + line + "other を実行しました。"}),
              Transcript());
}

HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD,
                       LPDWORD) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

TEST_F(ExportsTest, WatcherThatCannotStartLetsTheLibraryUnload) {
    // The reference to the library taken for the watcher goes with it.
    PrepareCommand("K:\\x3\\work");
    StoreFlag("ExecSync", 0);
    void* createThread = PatchImport(plugIn.Module(), "kernel32.dll", "CreateThread",
                                     reinterpret_cast<void*>(&NoThread));
    ASSERT_NE(nullptr, createThread);
    onCommand(host.Window());
    EXPECT_EQ(3u, StatusTexts().size()) << "ends with could not run";

    const std::string path = host::DefaultPlugInPath();
    plugIn.Unload();
    const HMODULE kept = GetModuleHandleA(path.c_str());
    EXPECT_EQ(nullptr, kept) << "a reference to the library is left";
    if (kept != nullptr) { // for the tests that load it next
        PatchImport(kept, "kernel32.dll", "CreateThread", createThread);
    }
}

// In place of FreeLibraryWhenCallbackReturns: a reference that a hold lets go
// of is dropped by the test, at a moment it knows, as the pool would drop it.
std::atomic<int> g_letGo{0};
HMODULE g_letGoOf = nullptr;
void WINAPI KeepLetGo(PTP_CALLBACK_INSTANCE, HMODULE library) {
    g_letGoOf = library;
    ++g_letGo;
}
void DropLetGo() {
    ASSERT_TRUE(FakeHost::PumpUntil([] { return g_letGo == 1; }));
    g_letGo = 0;
    FreeLibrary(g_letGoOf);
}

TEST_F(ExportsTest, HostMayUnloadTheLibraryWhileItsDialogsAreOpen) {
    // The editor frees its plug-ins from a message that a dialog's loop
    // serves; last, a command run from the dialog is freed during its wait.
    PrepareCommand("K:\\x4\\work");
    const auto unloadAndPress = [this](int button) -> DialogStep {
        return [this, button](HWND dialog) {
            plugIn.Unload();
            DialogDriver::Click(dialog, button);
        };
    };
    const DialogStep commandFreedInItsWait = [this](HWND dialog) {
        int texts = 0;
        host.OnStatusText([&](const std::string&) { ++texts == 3 ? plugIn.Unload() : void(); });
        onCommand(host.Window());
        host.OnStatusText(nullptr);
        DropLetGo(); // the command's hold, while the dialog is open
        DialogDriver::Click(dialog, IDCANCEL);
    };
    const std::string path = host::DefaultPlugInPath();
    for (const auto& [query, step] :
         {std::pair{0x0901u, unloadAndPress(IDCANCEL)}, std::pair{0x0907u, unloadAndPress(IDNO)},
          std::pair{0x0901u, commandFreedInItsWait}}) {
        SCOPED_TRACE(query);
        if (!plugIn.IsLoaded()) {
            ASSERT_TRUE(plugIn.Load(path) && SteadyProcessStarts(plugIn.Module()));
            onCommand = plugIn.Export<void(WINAPI*)(HWND)>("OnCommand");
        }
        ASSERT_TRUE(PatchImport(plugIn.Module(), "kernel32.dll", "FreeLibraryWhenCallbackReturns",
                                reinterpret_cast<void*>(&KeepLetGo)));
        DriveDialogs([&] { Query(query); }, {step});
        DropLetGo();
        EXPECT_EQ(nullptr, GetModuleHandleA(path.c_str())) << "a reference to the library is left";
    }
}

// The library's own allocations fail on demand, through its import of
// malloc: operator new then throws std::bad_alloc inside the library.
using Malloc = void*(__cdecl*)(size_t);
Malloc g_realMalloc = nullptr;
std::atomic<bool> g_failEvery{false};
std::atomic<long> g_allocationsLeft{-1}; // the allocation to fail; -1: none

void* __cdecl FailingMalloc(size_t size) {
    if (g_failEvery || (g_allocationsLeft >= 0 && g_allocationsLeft-- == 0)) {
        return nullptr;
    }
    return g_realMalloc(size);
}

class OutOfMemoryTest : public ExportsTest {
protected:
    void SetUp() override {
        ExportsTest::SetUp();
        g_realMalloc = reinterpret_cast<Malloc>(PatchImport(
            plugIn.Module(), "msvcrt.dll", "malloc", reinterpret_cast<void*>(&FailingMalloc)));
        ASSERT_NE(nullptr, g_realMalloc);
        PrepareCommand("K:\\m1\\work");
    }
    void TearDown() override {
        ExportsTest::TearDown();
        g_failEvery = false;
        g_allocationsLeft = -1;
        PatchImport(plugIn.Module(), "msvcrt.dll", "malloc", reinterpret_cast<void*>(g_realMalloc));
    }
};

TEST_F(OutOfMemoryTest, NeverReachesTheEditor) {
    // Every allocation of the command fails in turn; the exports return.
    for (long left = 0; left < 40; ++left) {
        SCOPED_TRACE(left);
        ClearEvents();
        g_allocationsLeft = left;
        onCommand(host.Window());
        char name[16] = {};
        Query(0x0902, sizeof name, reinterpret_cast<LPARAM>(name));
        g_allocationsLeft = -1;
        EXPECT_LE(StatusTexts().size(), 4u);
    }
    ClearEvents();
    onCommand(host.Window());
    EXPECT_EQ(4u, StatusTexts().size()) << "the library still works afterwards";
}

TEST_F(OutOfMemoryTest, NoMemoryFromTheFirstAllocationOn) {
    g_failEvery = true; // the library has not thrown before
    onCommand(host.Window());
    EXPECT_EQ(1, Query(0x0901)) << "no dialog, but still the answer 1";
    g_failEvery = false;
    ClearEvents();
    onCommand(host.Window());
    EXPECT_EQ(4u, StatusTexts().size());
}

TEST_F(OutOfMemoryTest, WatcherWithoutMemoryReportsAndFreesTheNextRun) {
    // From the moment the command has returned, every allocation of the
    // library fails: the watcher still reports the end, and the next command
    // runs once memory is back.
    StoreFlag("ExecSync", 0);
    const std::string gate = "K:\\m1\\gate";
    StoreText("ExecOption", "--exit=0 --wait-file=" + gate + " ");
    const std::string ran = "S:ctags を実行しました。";
    const auto reported = [&] { return !Transcript().empty() && Transcript().back() == ran; };
    onCommand(host.Window());
    g_failEvery = true;
    MakeFile(gate);
    const bool reportedWithoutMemory = FakeHost::PumpUntil(reported, 20000);
    g_failEvery = false;
    EXPECT_TRUE(reportedWithoutMemory) << testing::PrintToString(Transcript());

    ClearEvents();
    onCommand(host.Window());
    EXPECT_TRUE(FakeHost::PumpUntil(reported, 20000)) << testing::PrintToString(Transcript());
    EXPECT_EQ(4u, StatusTexts().size());
    StoreFlag("ExecSync", 1);
}

} // namespace
} // namespace kestrel::test
