// The properties dialog driven as a person would: while the dialog's modal
// loop runs on the test's thread, a helper thread finds the dialog, reads and
// sets its controls and presses its buttons; the registry shows what was
// saved. GetOpenFileNameA is observed through the program's import table and
// still reaches the real file-open dialog, which the helper drives too.
#include "settings/PropertiesDialog.h"

#include <windows.h>

#include <commdlg.h>

#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "host/ImportPatch.h"
#include "plugin/ModuleState.h"
#include "resources/resource.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "tests/support/Cp932.h"
#include "tests/support/Sandbox.h"
#include "tests/support/UiLanguage.h"

namespace kestrel {
namespace {

using test::Cp932;

const char kDefaultOption[] = "-R -V --tag-relative=yes ";
const char kToolPath[] = "K:\\tools\\ctags.exe";
const char kOtherPath[] = "K:\\other\\alt.exe";
const char kEmptyFolder[] = "K:\\empty";

// The file-open dialog's title and file type in the language of this run.
std::string OpenTitle() {
    return test::JapaneseUi() ? Cp932("CTAGSの実行ファイルを指定") : "Specify the CTAGS executable";
}
std::string OpenType() {
    return test::JapaneseUi() ? Cp932("CTAGS実行ファイル(*.exe)") : "CTAGS executable (*.exe)";
}

// Edits and check boxes as the dialog shows them.
struct Shown {
    std::string tagsFileName, execOption, execPath;
    bool execSync = false, showConsole = false, askFolder = false;
};

// ---- Registry -------------------------------------------------------------

class Key {
public:
    explicit Key(HKEY key = nullptr) : m_key(key) {}
    ~Key() {
        if (m_key != nullptr) {
            RegCloseKey(m_key);
        }
    }
    Key(Key&& other) noexcept : m_key(other.m_key) { other.m_key = nullptr; }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY Get() const { return m_key; }

private:
    HKEY m_key;
};

Key OpenSettingsKey(REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, access, &key) != ERROR_SUCCESS) {
        key = nullptr;
    }
    return Key(key);
}

bool SettingsKeyExists() {
    return OpenSettingsKey(KEY_READ).Get() != nullptr;
}

struct StoredValue {
    bool found = false;
    DWORD type = REG_NONE;
    std::string data; // the bytes as stored, NULs included
};

StoredValue ReadValue(const char* name) {
    StoredValue value;
    Key key = OpenSettingsKey(KEY_READ);
    DWORD size = 0;
    if (key.Get() == nullptr ||
        RegQueryValueExA(key.Get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) {
        return value;
    }
    value.data.assign(size, '\0');
    value.found =
        RegQueryValueExA(key.Get(), name, nullptr, &value.type,
                         reinterpret_cast<BYTE*>(value.data.data()), &size) == ERROR_SUCCESS;
    value.data.resize(size);
    return value;
}

std::string SzData(const std::string& text) {
    return text + '\0';
}
std::string DwordData(DWORD n) {
    return std::string(reinterpret_cast<const char*>(&n), 4);
}

void ExpectValue(const char* name, DWORD type, const std::string& data) {
    const StoredValue value = ReadValue(name);
    EXPECT_TRUE(value.found) << name;
    EXPECT_EQ(type, value.type) << name;
    EXPECT_EQ(data, value.data) << name;
}

void StoreText(const char* name, const std::string& text) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0,
                                             KEY_WRITE, nullptr, &key, nullptr));
    Key owner(key);
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)));
}

// ---- GetOpenFileNameA as the plug-in calls it ------------------------------

struct OpenFileCall {
    OPENFILENAMEA fields; // the structure as passed, pointers dangling afterwards
    std::string filter;   // through the NUL that ends the list
    std::string file;     // the initial file name
    std::string title;
};

struct OpenFileLog {
    decltype(&GetOpenFileNameA) real = nullptr;
    bool callReal = true;
    std::vector<OpenFileCall> calls;
};

OpenFileLog& Log() {
    static OpenFileLog log;
    return log;
}

BOOL WINAPI RecordingGetOpenFileNameA(OPENFILENAMEA* dialog) {
    OpenFileCall call;
    call.fields = *dialog;
    if (dialog->lpstrFilter != nullptr) {
        const char* end = dialog->lpstrFilter;
        while (end[0] != '\0' || end[1] != '\0') {
            ++end;
        }
        call.filter.assign(dialog->lpstrFilter, end + 2);
    }
    if (dialog->lpstrFile != nullptr) {
        call.file = dialog->lpstrFile;
    }
    if (dialog->lpstrTitle != nullptr) {
        call.title = dialog->lpstrTitle;
    }
    Log().calls.push_back(call);
    return Log().callReal ? Log().real(dialog) : FALSE;
}

bool InstallOpenFileLog() {
    if (Log().real == nullptr) {
        Log().real = reinterpret_cast<decltype(&GetOpenFileNameA)>(
            PatchImport(GetModuleHandleA(nullptr), "comdlg32.dll", "GetOpenFileNameA",
                        reinterpret_cast<void*>(&RecordingGetOpenFileNameA)));
    }
    Log().callReal = true;
    Log().calls.clear();
    return Log().real != nullptr;
}

// Everything the browse button gives the file-open dialog besides the
// initial file name.
void ExpectBrowseCall(const OpenFileCall& call, HWND dialog) {
    const OPENFILENAMEA& f = call.fields;
    // The structure without its Windows 2000 extensions: 76 bytes on 32-bit.
    const DWORD size = sizeof(void*) == 4 ? 76 : OPENFILENAME_SIZE_VERSION_400A;
    EXPECT_EQ(size, f.lStructSize);
    EXPECT_EQ(dialog, f.hwndOwner);
    EXPECT_EQ(nullptr, f.hInstance);
    EXPECT_EQ(OpenType() + std::string("\0*.exe\0\0", 8), call.filter);
    EXPECT_EQ(nullptr, f.lpstrCustomFilter);
    EXPECT_EQ(0u, f.nMaxCustFilter);
    EXPECT_EQ(0u, f.nFilterIndex);
    EXPECT_EQ(260u, f.nMaxFile);
    EXPECT_EQ(nullptr, f.lpstrFileTitle);
    EXPECT_EQ(0u, f.nMaxFileTitle);
    EXPECT_EQ(nullptr, f.lpstrInitialDir);
    EXPECT_EQ(OpenTitle(), call.title);
    EXPECT_EQ(0x1004u, f.Flags);
    EXPECT_EQ(0, f.nFileOffset);
    EXPECT_EQ(0, f.nFileExtension);
    EXPECT_EQ(nullptr, f.lpstrDefExt);
    EXPECT_EQ(0, f.lCustData);
    EXPECT_EQ(nullptr, f.lpfnHook);
    EXPECT_EQ(nullptr, f.lpTemplateName);
}

// The dialog's user slot, where it keeps the record's address.
LONG_PTR UserSlot(HWND dialog) {
#ifdef _WIN64
    return GetWindowLongPtrA(dialog, DWLP_USER);
#else
    return GetWindowLongA(dialog, DWL_USER);
#endif
}

// ---- The host window -------------------------------------------------------

class OwnerWindow {
public:
    OwnerWindow() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KestrelTestHost";
        RegisterClassA(&windowClass); // fails harmlessly when registered before
        m_window =
            CreateWindowExA(0, "KestrelTestHost", "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                            640, 480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    ~OwnerWindow() {
        if (m_window != nullptr) {
            DestroyWindow(m_window);
        }
    }
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;
    HWND Get() const { return m_window; }

private:
    HWND m_window;
};

// ---- The helper that plays the user ----------------------------------------

class User {
public:
    explicit User(DWORD uiThread) : m_uiThread(uiThread) {}

    // The visible dialog owned by `owner` on the dialog thread, once it is
    // there; null (and a failure) if it never comes or the dialog call ends.
    HWND WaitForDialog(HWND owner, const char* what) {
        HWND found = nullptr;
        WaitFor([&] { return (found = FindDialog(owner)) != nullptr; });
        if (found == nullptr) {
            ADD_FAILURE() << what << " did not appear";
        }
        return found;
    }

    bool WaitUntilGone(HWND window, const char* what) {
        const bool gone = WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); });
        EXPECT_TRUE(gone) << what << " is still open";
        return gone;
    }

    // Polls until the condition holds; gives up after a generous while, or at
    // once when the dialog call has returned, so a broken dialog fails the
    // test instead of hanging it.
    bool WaitFor(const std::function<bool()>& condition) {
        for (int i = 0; i < 3000; ++i) {
            if (condition()) {
                return true;
            }
            if (m_done) {
                return condition();
            }
            Sleep(10);
        }
        return false;
    }

    static std::string Text(HWND dialog, int id) {
        std::vector<char> buffer(8192);
        GetDlgItemTextA(dialog, id, buffer.data(), static_cast<int>(buffer.size()));
        return buffer.data();
    }
    static void SetText(HWND dialog, int id, const std::string& text) {
        SetDlgItemTextA(dialog, id, text.c_str());
    }
    static bool Checked(HWND dialog, int id) {
        return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    static Shown Read(HWND dialog) {
        Shown shown;
        shown.tagsFileName = Text(dialog, IDC_TAGS_FILE_NAME);
        shown.execOption = Text(dialog, IDC_EXEC_OPTION);
        shown.execPath = Text(dialog, IDC_EXEC_PATH);
        shown.execSync = Checked(dialog, IDC_EXEC_SYNC);
        shown.showConsole = Checked(dialog, IDC_SHOW_CONSOLE);
        shown.askFolder = Checked(dialog, IDC_ASK_FOLDER);
        return shown;
    }
    // Posted, because a button may open a modal dialog of its own.
    static void Click(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

    // A key goes to the control with the focus, where IsDialogMessage in the
    // modal loop sees it.
    void PressKey(HWND dialog, WPARAM key) {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        HWND target = dialog;
        if (GetGUIThreadInfo(m_uiThread, &info) && info.hwndFocus != nullptr) {
            target = info.hwndFocus;
        }
        PostMessageA(target, WM_KEYDOWN, key, 1);
        PostMessageA(target, WM_KEYUP, key, 0xC0000001);
    }

    // The edit inside the file-name combo box (under Wine a ComboBoxEx32
    // holding a ComboBox holding the Edit), or the old-style edit.
    static HWND FileNameField(HWND fileDialog) {
        HWND combo = GetDlgItem(fileDialog, 0x47C);
        if (combo == nullptr) {
            return GetDlgItem(fileDialog, 0x480);
        }
        HWND edit = nullptr;
        EnumChildWindows(combo, &FindEdit, reinterpret_cast<LPARAM>(&edit));
        return edit;
    }
    static std::string FileName(HWND fileDialog) {
        char buffer[MAX_PATH * 2] = {};
        SendMessageA(FileNameField(fileDialog), WM_GETTEXT, sizeof buffer,
                     reinterpret_cast<LPARAM>(buffer));
        return buffer;
    }
    static std::string Folder(HWND fileDialog) {
        char buffer[MAX_PATH * 2] = {};
        SendMessageA(fileDialog, CDM_GETFOLDERPATH, sizeof buffer,
                     reinterpret_cast<LPARAM>(buffer));
        return buffer;
    }

    // Browses from the properties dialog and picks `path`; true when the
    // file-open dialog accepted it and closed.
    bool BrowseTo(HWND dialog, const std::string& path) {
        Click(dialog, IDC_BROWSE);
        HWND fileDialog = WaitForDialog(dialog, "the file-open dialog");
        if (fileDialog == nullptr) {
            return false;
        }
        HWND field = FileNameField(fileDialog);
        EXPECT_NE(nullptr, field) << "the file-open dialog has no file-name field";
        SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        Click(fileDialog, IDOK);
        return WaitUntilGone(fileDialog, "the file-open dialog");
    }

    void Finish() { m_done = true; }

    // Closes what the script left open, so the dialog call returns.
    void CloseLeftovers() {
        std::set<HWND> reported;
        while (!m_done) {
            while (HWND left = FindDialog(nullptr)) {
                if (reported.insert(left).second) {
                    ADD_FAILURE() << "a dialog was left open";
                }
                PostMessageA(left, WM_CLOSE, 0, 0);
                Sleep(50);
                if (m_done) {
                    return;
                }
            }
            Sleep(10);
        }
    }

private:
    struct Search {
        HWND owner;
        HWND found;
    };

    // A visible dialog of the dialog thread owned by `owner`; any owner when
    // it is null.
    HWND FindDialog(HWND owner) const {
        Search search = {owner, nullptr};
        EnumThreadWindows(m_uiThread, &Match, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    static BOOL CALLBACK FindEdit(HWND window, LPARAM param) {
        char name[16] = {};
        GetClassNameA(window, name, sizeof name);
        if (lstrcmpiA(name, "Edit") != 0) {
            return TRUE;
        }
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }

    static BOOL CALLBACK Match(HWND window, LPARAM param) {
        Search& search = *reinterpret_cast<Search*>(param);
        char name[16] = {};
        GetClassNameA(window, name, sizeof name);
        if (lstrcmpA(name, "#32770") == 0 && IsWindowVisible(window) &&
            (search.owner == nullptr || GetWindow(window, GW_OWNER) == search.owner)) {
            search.found = window;
            return FALSE;
        }
        return TRUE;
    }

    DWORD m_uiThread;
    std::atomic<bool> m_done{false};
};

// Runs `call` (which shows a dialog) on this thread while `script` plays the
// user from a helper thread.
void Drive(const std::function<void()>& call, const std::function<void(User&)>& script) {
    User user(GetCurrentThreadId());
    std::thread helper([&] {
        script(user);
        user.CloseLeftovers();
    });
    call();
    user.Finish();
    helper.join();
}

class PropertiesDialogTest : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKeyPath);
        ASSERT_FALSE(SettingsKeyExists());
        ASSERT_TRUE(InstallOpenFileLog()) << "GetOpenFileNameA is not imported by name";
        ASSERT_NE(nullptr, m_owner.Get());
        test::MakeFolders("K:\\tools");
        test::MakeFolders("K:\\other");
        test::MakeFolders(kEmptyFolder);
        test::MakeFile(kToolPath);
        test::MakeFile(kOtherPath);
        ASSERT_TRUE(test::Exists(kToolPath)) << "drive K: is missing: run under wine-run.sh";
        ASSERT_TRUE(SetCurrentDirectoryA(kEmptyFolder));
    }

    // The properties entry over the test's host window.
    void ShowProperties(const std::function<void(User&)>& script) {
        Drive([&] { kestrel::ShowProperties(m_owner.Get()); }, script);
    }

    // The dialog procedure alone, with the record (or null) given here.
    INT_PTR ShowDialog(Settings* settings, const std::function<void(User&)>& script) {
        INT_PTR result = 0;
        Drive(
            [&] {
                result = DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(IDD_PROPERTIES),
                                         m_owner.Get(), PropertiesDialogProc,
                                         reinterpret_cast<LPARAM>(settings));
            },
            script);
        return result;
    }

    HWND Owner() const { return m_owner.Get(); }

    // Opens the properties and reads what they show, then cancels.
    Shown ShownOnOpening() {
        Shown shown;
        ShowProperties([&](User& user) {
            HWND dialog = user.WaitForDialog(Owner(), "the properties dialog");
            if (dialog == nullptr) {
                return;
            }
            shown = User::Read(dialog);
            User::Click(dialog, IDCANCEL);
            user.WaitUntilGone(dialog, "the properties dialog");
        });
        return shown;
    }

private:
    OwnerWindow m_owner;
};

TEST_F(PropertiesDialogTest, ShowsDefaultsWithoutStoredSettings) {
    const Shown shown = ShownOnOpening();
    EXPECT_EQ("tags", shown.tagsFileName);
    EXPECT_EQ(kDefaultOption, shown.execOption);
    EXPECT_EQ("ctags.exe", shown.execPath);
    EXPECT_TRUE(shown.execSync);
    EXPECT_FALSE(shown.showConsole);
    EXPECT_TRUE(shown.askFolder);
    EXPECT_FALSE(SettingsKeyExists());
}

TEST_F(PropertiesDialogTest, OkWithoutChangeWritesAllSixValues) {
    ShowProperties([&](User& user) {
        HWND dialog = user.WaitForDialog(Owner(), "the properties dialog");
        if (dialog == nullptr) {
            return;
        }
        User::Click(dialog, IDOK);
        user.WaitUntilGone(dialog, "the properties dialog");
    });
    ASSERT_TRUE(SettingsKeyExists());
    ExpectValue("TagsFileName", REG_SZ, SzData("tags"));
    ExpectValue("ExecOption", REG_SZ, SzData(kDefaultOption));
    ExpectValue("ExecPath", REG_SZ, SzData("ctags.exe"));
    ExpectValue("ExecSync", REG_DWORD, DwordData(1));
    ExpectValue("ShowConsole", REG_DWORD, DwordData(0));
    ExpectValue("AskFolder", REG_DWORD, DwordData(1));
}

TEST_F(PropertiesDialogTest, OkSavesEditedControlsAndTheNextOpeningShowsThem) {
    const std::string option = Cp932("-R --exclude=日本語 ");
    ShowProperties([&](User& user) {
        HWND dialog = user.WaitForDialog(Owner(), "the properties dialog");
        if (dialog == nullptr) {
            return;
        }
        User::SetText(dialog, IDC_TAGS_FILE_NAME, "TAGS2");
        User::SetText(dialog, IDC_EXEC_OPTION, option);
        User::SetText(dialog, IDC_EXEC_PATH, kOtherPath);
        for (int box : {IDC_EXEC_SYNC, IDC_SHOW_CONSOLE, IDC_ASK_FOLDER}) {
            SendMessageA(GetDlgItem(dialog, box), BM_CLICK, 0, 0); // toggles
        }
        User::Click(dialog, IDOK);
        user.WaitUntilGone(dialog, "the properties dialog");
    });
    ExpectValue("TagsFileName", REG_SZ, SzData("TAGS2"));
    ExpectValue("ExecOption", REG_SZ, SzData(option));
    ExpectValue("ExecPath", REG_SZ, SzData(kOtherPath));
    ExpectValue("ExecSync", REG_DWORD, DwordData(0));
    ExpectValue("ShowConsole", REG_DWORD, DwordData(1));
    ExpectValue("AskFolder", REG_DWORD, DwordData(0));

    const Shown shown = ShownOnOpening();
    EXPECT_EQ("TAGS2", shown.tagsFileName);
    EXPECT_EQ(option, shown.execOption);
    EXPECT_EQ(kOtherPath, shown.execPath);
    EXPECT_FALSE(shown.execSync);
    EXPECT_TRUE(shown.showConsole);
    EXPECT_FALSE(shown.askFolder);
}

TEST_F(PropertiesDialogTest, ClearedOptionsAreSavedEmptyAndReopenAsTheDefault) {
    ShowProperties([&](User& user) {
        HWND dialog = user.WaitForDialog(Owner(), "the properties dialog");
        if (dialog == nullptr) {
            return;
        }
        User::SetText(dialog, IDC_EXEC_OPTION, "");
        User::Click(dialog, IDOK);
        user.WaitUntilGone(dialog, "the properties dialog");
    });
    ExpectValue("ExecOption", REG_SZ, std::string(1, '\0'));
    EXPECT_EQ(kDefaultOption, ShownOnOpening().execOption);

    Settings settings; // as the next command loads them
    LoadSettings(settings);
    EXPECT_STREQ(kDefaultOption, settings.ExecOption.Chars());
}

TEST_F(PropertiesDialogTest, LongEditTextIsCutTo1023Bytes) {
    struct Case {
        size_t typed;
        size_t kept;
    };
    for (const Case c : {Case{1022, 1022}, Case{1023, 1023}, Case{1024, 1023}, Case{3000, 1023}}) {
        SCOPED_TRACE(c.typed);
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKeyPath);
        // Distinct bytes per edit, so a text read into the wrong field shows.
        ShowProperties([&](User& user) {
            HWND dialog = user.WaitForDialog(Owner(), "the properties dialog");
            if (dialog == nullptr) {
                return;
            }
            User::SetText(dialog, IDC_TAGS_FILE_NAME, std::string(c.typed, 't'));
            User::SetText(dialog, IDC_EXEC_OPTION, std::string(c.typed, 'o'));
            User::SetText(dialog, IDC_EXEC_PATH, std::string(c.typed, 'p'));
            User::Click(dialog, IDOK);
            user.WaitUntilGone(dialog, "the properties dialog");
        });
        ExpectValue("TagsFileName", REG_SZ, SzData(std::string(c.kept, 't')));
        ExpectValue("ExecOption", REG_SZ, SzData(std::string(c.kept, 'o')));
        ExpectValue("ExecPath", REG_SZ, SzData(std::string(c.kept, 'p')));
    }
}

// Each way of ending the dialog after a successful browse: OK keeps the
// browsed path, everything else leaves the registry as it was.
TEST_F(PropertiesDialogTest, EndingAfterABrowseSavesOnlyOnOk) {
    enum class Ending { OkButton, EnterKey, CancelButton, EscapeKey, Close };
    struct Case {
        const char* name;
        Ending ending;
        bool saves;
    };
    const Case cases[] = {
        {"OK button", Ending::OkButton, true},
        {"Enter", Ending::EnterKey, true},
        {"Cancel button", Ending::CancelButton, false},
        {"Escape", Ending::EscapeKey, false},
        {"WM_CLOSE", Ending::Close, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKeyPath);
        ShowProperties([&](User& user) {
            HWND dialog = user.WaitForDialog(Owner(), "the properties dialog");
            if (dialog == nullptr || !user.BrowseTo(dialog, kToolPath)) {
                return;
            }
            // The edit shows the chosen path while the dialog is still open.
            EXPECT_TRUE(user.WaitFor([&] {
                return User::Text(dialog, IDC_EXEC_PATH) == kToolPath;
            })) << User::Text(dialog, IDC_EXEC_PATH);
            switch (c.ending) {
            case Ending::OkButton:
                User::Click(dialog, IDOK);
                break;
            case Ending::EnterKey:
                // Into an edit first: Enter on the focused browse button would
                // press that button.
                SendMessageA(dialog, WM_NEXTDLGCTL,
                             reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_TAGS_FILE_NAME)),
                             TRUE);
                user.PressKey(dialog, VK_RETURN);
                break;
            case Ending::CancelButton:
                User::Click(dialog, IDCANCEL);
                break;
            case Ending::EscapeKey:
                user.PressKey(dialog, VK_ESCAPE);
                break;
            case Ending::Close:
                PostMessageA(dialog, WM_CLOSE, 0, 0);
                break;
            }
            user.WaitUntilGone(dialog, "the properties dialog");
        });
        if (c.saves) {
            ExpectValue("ExecPath", REG_SZ, SzData(kToolPath));
            ExpectValue("TagsFileName", REG_SZ, SzData("tags"));
        } else {
            EXPECT_FALSE(SettingsKeyExists());
        }
    }
}

// Where the file-open dialog starts, for the record's ExecPath.
TEST_F(PropertiesDialogTest, FileOpenStartsFromAnExistingExecPathOnly) {
    struct Case {
        const char* name;
        const char* stored;           // ExecPath in the registry; null keeps the default
        const char* currentDirectory; // where a relative name is looked up
        const char* initialFile;      // as given to GetOpenFileNameA
        const char* shownName;        // in the file-name field; null: not checked
        // The dialog's folder; null: not checked, because without a folder in
        // the initial name the dialog may open on the one it used last.
        const char* shownFolder;
    };
    const Case cases[] = {
        {"bare name, no such file here", nullptr, kEmptyFolder, "", "", nullptr},
        {"bare name of a file here", nullptr, "K:\\tools", "ctags.exe", "ctags.exe", nullptr},
        {"full path of a file", kOtherPath, kEmptyFolder, kOtherPath, "alt.exe", "K:\\other"},
        {"full path, no such file", "K:\\other\\gone.exe", kEmptyFolder, "", "", nullptr},
        {"a folder", "K:\\other", kEmptyFolder, "K:\\other", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKeyPath);
        if (c.stored != nullptr) {
            StoreText("ExecPath", c.stored);
        }
        ASSERT_TRUE(SetCurrentDirectoryA(c.currentDirectory));
        Log().calls.clear();
        HWND seenDialog = nullptr;
        std::string shownPath;
        ShowProperties([&](User& user) {
            HWND dialog = seenDialog = user.WaitForDialog(Owner(), "the properties dialog");
            if (dialog == nullptr) {
                return;
            }
            shownPath = User::Text(dialog, IDC_EXEC_PATH);
            User::Click(dialog, IDC_BROWSE);
            HWND fileDialog = user.WaitForDialog(dialog, "the file-open dialog");
            if (fileDialog == nullptr) {
                return;
            }
            char title[256] = {};
            GetWindowTextA(fileDialog, title, sizeof title);
            EXPECT_EQ(OpenTitle(), title);
            HWND types = GetDlgItem(fileDialog, 0x470);
            EXPECT_EQ(1, SendMessageA(types, CB_GETCOUNT, 0, 0));
            char type[256] = {};
            SendMessageA(types, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(type));
            EXPECT_EQ(OpenType(), type);
            if (c.shownName != nullptr) {
                EXPECT_EQ(c.shownName, User::FileName(fileDialog));
            }
            if (c.shownFolder != nullptr) {
                EXPECT_EQ(c.shownFolder, User::Folder(fileDialog));
            }
            User::Click(fileDialog, IDCANCEL);
            user.WaitUntilGone(fileDialog, "the file-open dialog");
            User::Click(dialog, IDOK);
            user.WaitUntilGone(dialog, "the properties dialog");
        });
        ASSERT_EQ(1u, Log().calls.size());
        EXPECT_EQ(c.initialFile, Log().calls[0].file);
        ExpectBrowseCall(Log().calls[0], seenDialog);
        // A cancelled browse changes nothing: OK saves the path as shown.
        const std::string stored = c.stored != nullptr ? c.stored : "ctags.exe";
        EXPECT_EQ(stored, shownPath);
        ExpectValue("ExecPath", REG_SZ, SzData(stored));
    }
}

TEST_F(PropertiesDialogTest, BrowseStartsFromTheRecordNotFromTypedText) {
    ShowProperties([&](User& user) {
        HWND dialog = user.WaitForDialog(Owner(), "the properties dialog");
        if (dialog == nullptr) {
            return;
        }
        // Typed, existing, but not in the record: the browse starts empty.
        User::SetText(dialog, IDC_EXEC_PATH, kToolPath);
        if (!user.BrowseTo(dialog, kOtherPath)) {
            return;
        }
        EXPECT_TRUE(user.WaitFor([&] { return User::Text(dialog, IDC_EXEC_PATH) == kOtherPath; }));
        // The browsed path is in the record now; typed text still is not.
        User::SetText(dialog, IDC_EXEC_PATH, kToolPath);
        User::Click(dialog, IDC_BROWSE);
        HWND fileDialog = user.WaitForDialog(dialog, "the file-open dialog");
        if (fileDialog == nullptr) {
            return;
        }
        EXPECT_EQ("alt.exe", User::FileName(fileDialog));
        User::Click(fileDialog, IDCANCEL);
        user.WaitUntilGone(fileDialog, "the file-open dialog");
        EXPECT_EQ(kToolPath, User::Text(dialog, IDC_EXEC_PATH));
        User::Click(dialog, IDCANCEL);
        user.WaitUntilGone(dialog, "the properties dialog");
    });
    ASSERT_EQ(2u, Log().calls.size());
    EXPECT_EQ("", Log().calls[0].file);
    EXPECT_EQ(kOtherPath, Log().calls[1].file);
    EXPECT_FALSE(SettingsKeyExists());
}

TEST_F(PropertiesDialogTest, FileOpenRefusesAMissingName) {
    ShowProperties([&](User& user) {
        HWND dialog = user.WaitForDialog(Owner(), "the properties dialog");
        if (dialog == nullptr) {
            return;
        }
        User::Click(dialog, IDC_BROWSE);
        HWND fileDialog = user.WaitForDialog(dialog, "the file-open dialog");
        if (fileDialog == nullptr) {
            return;
        }
        const char missing[] = "K:\\tools\\missing.exe";
        SendMessageA(User::FileNameField(fileDialog), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(missing));
        User::Click(fileDialog, IDOK);
        // The file-open dialog complains in a message box of its own and
        // stays open.
        if (HWND complaint = user.WaitForDialog(fileDialog, "the missing-file message")) {
            User::Click(complaint, IDOK);
            user.WaitUntilGone(complaint, "the missing-file message");
        }
        EXPECT_TRUE(IsWindowVisible(fileDialog));
        User::Click(fileDialog, IDCANCEL);
        user.WaitUntilGone(fileDialog, "the file-open dialog");
        EXPECT_EQ("ctags.exe", User::Text(dialog, IDC_EXEC_PATH));
        User::Click(dialog, IDOK);
        user.WaitUntilGone(dialog, "the properties dialog");
    });
    ExpectValue("ExecPath", REG_SZ, SzData("ctags.exe"));
}

// The dialog procedure edits the record it is given and never saves itself.
TEST_F(PropertiesDialogTest, DialogEditsTheGivenRecordInPlace) {
    Settings settings;
    settings.TagsFileName = "T";
    settings.ExecOption = "-x";
    settings.ExecPath = kOtherPath;
    settings.ExecSync = false;
    settings.ShowConsole = true;
    settings.AskFolder = false;
    Shown shown;
    LONG_PTR slot = 0;
    const INT_PTR result = ShowDialog(&settings, [&](User& user) {
        HWND dialog = user.WaitForDialog(Owner(), "the properties dialog");
        if (dialog == nullptr) {
            return;
        }
        shown = User::Read(dialog);
        slot = UserSlot(dialog);
        User::SetText(dialog, IDC_TAGS_FILE_NAME, "U");
        SendMessageA(GetDlgItem(dialog, IDC_EXEC_SYNC), BM_CLICK, 0, 0);
        User::Click(dialog, IDOK);
        user.WaitUntilGone(dialog, "the properties dialog");
    });
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ("T", shown.tagsFileName);
    EXPECT_EQ("-x", shown.execOption);
    EXPECT_EQ(kOtherPath, shown.execPath);
    EXPECT_FALSE(shown.execSync);
    EXPECT_TRUE(shown.showConsole);
    EXPECT_FALSE(shown.askFolder);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&settings), slot);
    EXPECT_STREQ("U", settings.TagsFileName.Chars());
    EXPECT_STREQ("-x", settings.ExecOption.Chars());
    EXPECT_TRUE(settings.ExecSync);
    EXPECT_TRUE(settings.ShowConsole);
    EXPECT_FALSE(SettingsKeyExists());
}

TEST_F(PropertiesDialogTest, NullRecordLeavesTemplateStateAndBrowseDoesNothing) {
    Log().callReal = false; // a wrong call must not leave a real dialog open
    Shown shown;
    shown.execSync = shown.showConsole = shown.askFolder = true;
    LONG_PTR slot = -1;
    const INT_PTR result = ShowDialog(nullptr, [&](User& user) {
        HWND dialog = user.WaitForDialog(Owner(), "the properties dialog");
        if (dialog == nullptr) {
            return;
        }
        shown = User::Read(dialog);
        slot = UserSlot(dialog);
        SendMessageA(GetDlgItem(dialog, IDC_BROWSE), BM_CLICK, 0, 0); // returns after the click
        User::SetText(dialog, IDC_EXEC_PATH, kToolPath);
        User::Click(dialog, IDOK);
        user.WaitUntilGone(dialog, "the properties dialog");
    });
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ("", shown.tagsFileName);
    EXPECT_EQ("", shown.execOption);
    EXPECT_EQ("", shown.execPath);
    EXPECT_FALSE(shown.execSync);
    EXPECT_FALSE(shown.showConsole);
    EXPECT_FALSE(shown.askFolder);
    EXPECT_EQ(0, slot);
    EXPECT_TRUE(Log().calls.empty());
    EXPECT_FALSE(SettingsKeyExists());
}

TEST_F(PropertiesDialogTest, NothingIsSavedWhenTheDialogCannotOpen) {
    HWND gone = CreateWindowExA(0, "KestrelTestHost", "Gone", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, gone);
    DestroyWindow(gone);
    Drive([&] { kestrel::ShowProperties(gone); }, [](User&) {});
    EXPECT_FALSE(SettingsKeyExists());
}

} // namespace
} // namespace kestrel
