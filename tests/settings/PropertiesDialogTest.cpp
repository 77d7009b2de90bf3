// The properties dialog driven as a person would: while the dialog's modal
// loop runs on the test's thread, steps read and set its controls and press
// its buttons from inside that loop; the registry shows what was saved.
// GetOpenFileNameA is observed through the program's import table and still
// reaches the real file-open dialog, which the steps drive too.
#include "settings/PropertiesDialog.h"

#include <windows.h>

#include <commdlg.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/ModuleState.h"
#include "resources/resource.h"
#include "tests/support/Cp932.h"
#include "tests/support/Dialogs.h"
#include "tests/support/FakeHost.h"
#include "tests/support/ImportRedirect.h"
#include "tests/support/Sandbox.h"
#include "tests/support/StoredSettings.h"
#include "tests/support/UiLanguage.h"

namespace kestrel::test {
namespace {

const char kToolPath[] = "K:\\tools\\ctags.exe";
const char kOtherPath[] = "K:\\other\\alt.exe";
const char kEmptyFolder[] = "K:\\empty";

// The file-open dialog's title and file type in the language of this run.
std::string OpenTitle() {
    return JapaneseUi() ? Cp932("CTAGSの実行ファイルを指定") : "Specify the CTAGS executable";
}
std::string OpenType() {
    return JapaneseUi() ? Cp932("CTAGS実行ファイル(*.exe)") : "CTAGS executable (*.exe)";
}

struct OpenFileCall {
    OPENFILENAMEA fields; // the structure as passed, pointers dangling afterwards
    std::string filter;   // through the NUL that ends the list
    std::string file;     // the initial file name
    std::string title;
};

decltype(&GetOpenFileNameA) g_realGetOpenFileName;
bool g_callReal = true;
std::vector<OpenFileCall> g_openFileCalls;

std::string TextOrEmpty(const char* text) {
    return text != nullptr ? text : "";
}

BOOL WINAPI RecordingGetOpenFileNameA(OPENFILENAMEA* dialog) {
    const char* end = dialog->lpstrFilter;
    while (end != nullptr && (end[0] != '\0' || end[1] != '\0')) {
        ++end;
    }
    g_openFileCalls.push_back({*dialog, end ? std::string(dialog->lpstrFilter, end + 2) : "",
                               TextOrEmpty(dialog->lpstrFile), TextOrEmpty(dialog->lpstrTitle)});
    return g_callReal ? g_realGetOpenFileName(dialog) : FALSE;
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

std::string Text(HWND dialog, int id) {
    return DialogDriver::ItemText(dialog, id);
}
void SetText(HWND dialog, int id, const std::string& text) {
    SetDlgItemTextA(dialog, id, text.c_str());
}
void Click(HWND dialog, int id) {
    DialogDriver::Click(dialog, id);
}
void PressKey(HWND dialog, WPARAM key) {
    EXPECT_TRUE(DialogDriver::PressKey(dialog, key)) << "the focus is not in the dialog";
}
bool Checked(HWND dialog, int id) {
    return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}
// Edits and check boxes as the dialog shows them.
Values Read(HWND dialog) {
    return {Text(dialog, IDC_TAGS_FILE_NAME),  Text(dialog, IDC_EXEC_OPTION),
            Text(dialog, IDC_EXEC_PATH),       Checked(dialog, IDC_EXEC_SYNC),
            Checked(dialog, IDC_SHOW_CONSOLE), Checked(dialog, IDC_ASK_FOLDER)};
}

// The edit inside the file-name combo box (under Wine a ComboBoxEx32 holding
// a ComboBox holding the Edit), or the old-style edit.
HWND FileNameField(HWND fileDialog) {
    HWND combo = GetDlgItem(fileDialog, 0x47C);
    if (combo == nullptr) {
        return GetDlgItem(fileDialog, 0x480);
    }
    HWND inner = FindWindowExA(combo, nullptr, "ComboBox", nullptr);
    return FindWindowExA(inner != nullptr ? inner : combo, nullptr, "Edit", nullptr);
}
std::string FileName(HWND fileDialog) {
    return DialogDriver::Text(FileNameField(fileDialog));
}
std::string Folder(HWND fileDialog) {
    char buffer[MAX_PATH * 2] = {};
    SendMessageA(fileDialog, CDM_GETFOLDERPATH, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

// Types `path` into the file-open dialog and presses OK.
void PickFile(HWND fileDialog, const std::string& path) {
    HWND field = FileNameField(fileDialog);
    ASSERT_NE(nullptr, field) << "the file-open dialog has no file-name field";
    SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    Click(fileDialog, IDOK);
}

// `step` for the dialog that `owner` opened; fails when another one waits.
DialogStep Over(const HWND& owner, DialogStep step) {
    return [&owner, step](HWND dialog) {
        ASSERT_EQ(owner, GetWindow(dialog, GW_OWNER)) << "not the dialog expected over it";
        step(dialog);
    };
}
// `step` for `expected` again, once the dialogs over it are gone.
DialogStep On(const HWND& expected, DialogStep step) {
    return [&expected, step](HWND dialog) {
        ASSERT_EQ(expected, dialog) << "a dialog over it is still open";
        step(dialog);
    };
}

class PropertiesDialogTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings());
        g_realGetOpenFileName =
            reinterpret_cast<decltype(g_realGetOpenFileName)>(openFile.Original());
        ASSERT_NE(nullptr, g_realGetOpenFileName) << "GetOpenFileNameA is not imported by name";
        g_callReal = true;
        g_openFileCalls.clear();
        ASSERT_NE(nullptr, host.Window());
        MakeFolders("K:\\tools");
        MakeFolders("K:\\other");
        MakeFolders(kEmptyFolder);
        MakeFile(kToolPath);
        MakeFile(kOtherPath);
        ASSERT_TRUE(Exists(kToolPath)) << "drive K: is missing: run under wine-run.sh";
        ASSERT_TRUE(SetCurrentDirectoryA(kEmptyFolder));
    }

    // The properties entry over the test's host window.
    void ShowProperties(std::vector<DialogStep> steps) {
        Drive([&] { kestrel::ShowProperties(host.Window()); }, std::move(steps));
    }

    // The dialog procedure alone, with the record (or null) given here.
    INT_PTR ShowDialog(Settings* settings, std::vector<DialogStep> steps) {
        INT_PTR result = 0;
        Drive(
            [&] {
                result = DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(IDD_PROPERTIES),
                                         host.Window(), PropertiesDialogProc,
                                         reinterpret_cast<LPARAM>(settings));
            },
            std::move(steps));
        return result;
    }

    // Runs `call` with `steps`; the first one meets the properties dialog,
    // which `dialog` then names.
    void Drive(const std::function<void()>& call, std::vector<DialogStep> steps) {
        dialog = nullptr;
        if (!steps.empty()) {
            steps.front() = [this, first = steps.front()](HWND shown) {
                ASSERT_EQ(host.Window(), GetWindow(shown, GW_OWNER)) << "not the properties dialog";
                dialog = shown;
                first(shown);
            };
        }
        DriveDialogs(call, std::move(steps));
    }

    // Opens the properties and reads what they show, then cancels.
    Values ShownOnOpening() {
        Values shown;
        ShowProperties({[&](HWND d) {
            shown = Read(d);
            Click(d, IDCANCEL);
        }});
        return shown;
    }

    ImportRedirect openFile{"comdlg32.dll", "GetOpenFileNameA",
                            reinterpret_cast<void*>(&RecordingGetOpenFileNameA)};
    FakeHost host;
    HWND dialog = nullptr; // the properties dialog of the last call
};

TEST_F(PropertiesDialogTest, ShowsDefaultsWithoutStoredSettings) {
    EXPECT_EQ(Values(), ShownOnOpening());
    EXPECT_FALSE(StoredSettingsExist());
}

TEST_F(PropertiesDialogTest, OkWithoutChangeWritesAllSixValues) {
    ShowProperties({[](HWND d) { Click(d, IDOK); }});
    ASSERT_TRUE(StoredSettingsExist());
    ExpectStoredValues(Values());
}

TEST_F(PropertiesDialogTest, OkSavesEditedControlsAndTheNextOpeningShowsThem) {
    const Values edited{"TAGS2", Cp932("-R --exclude=日本語 "), kOtherPath, false, true, false};
    ShowProperties({[&](HWND d) {
        SetText(d, IDC_TAGS_FILE_NAME, edited.tagsFileName);
        SetText(d, IDC_EXEC_OPTION, edited.execOption);
        SetText(d, IDC_EXEC_PATH, edited.execPath);
        for (int box : {IDC_EXEC_SYNC, IDC_SHOW_CONSOLE, IDC_ASK_FOLDER}) {
            SendMessageA(GetDlgItem(d, box), BM_CLICK, 0, 0); // toggles
        }
        Click(d, IDOK);
    }});
    ExpectStoredValues(edited);
    EXPECT_EQ(edited, ShownOnOpening());
}

TEST_F(PropertiesDialogTest, ClearedOptionsAreSavedEmptyAndReopenAsTheDefault) {
    ShowProperties({[](HWND d) {
        SetText(d, IDC_EXEC_OPTION, "");
        Click(d, IDOK);
    }});
    ExpectStoredText("ExecOption", "");
    EXPECT_EQ(Values().execOption, ShownOnOpening().execOption);
    EXPECT_EQ(Values().execOption, LoadedValues().execOption); // as the next command loads them
}

TEST_F(PropertiesDialogTest, LongEditTextIsCutTo1023Bytes) {
    const std::pair<size_t, size_t> cases[] = {
        {1022, 1022}, {1023, 1023}, {1024, 1023}, {3000, 1023}};
    for (const auto& c : cases) {
        const size_t typed = c.first, kept = c.second; // bytes typed and kept
        SCOPED_TRACE(typed);
        ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings());
        // Distinct bytes per edit, so a text read into the wrong field shows.
        ShowProperties({[&](HWND d) {
            SetText(d, IDC_TAGS_FILE_NAME, std::string(typed, 't'));
            SetText(d, IDC_EXEC_OPTION, std::string(typed, 'o'));
            SetText(d, IDC_EXEC_PATH, std::string(typed, 'p'));
            Click(d, IDOK);
        }});
        ExpectStoredText("TagsFileName", std::string(kept, 't'));
        ExpectStoredText("ExecOption", std::string(kept, 'o'));
        ExpectStoredText("ExecPath", std::string(kept, 'p'));
    }
}

// Each way of ending the dialog after a successful browse: OK keeps the
// browsed path, everything else leaves the registry as it was.
TEST_F(PropertiesDialogTest, EndingAfterABrowseSavesOnlyOnOk) {
    const struct {
        const char* name;
        DialogStep end;
        bool saves;
    } cases[] = {
        {"OK button", [](HWND d) { Click(d, IDOK); }, true},
        {"Enter",
         [](HWND d) {
             // Into an edit first: Enter on the focused browse button would
             // press that button.
             SendMessageA(d, WM_NEXTDLGCTL,
                          reinterpret_cast<WPARAM>(GetDlgItem(d, IDC_TAGS_FILE_NAME)), TRUE);
             PressKey(d, VK_RETURN);
         },
         true},
        {"Cancel button", [](HWND d) { Click(d, IDCANCEL); }, false},
        {"Escape", [](HWND d) { PressKey(d, VK_ESCAPE); }, false},
        {"WM_CLOSE", [](HWND d) { PostMessageA(d, WM_CLOSE, 0, 0); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings());
        ShowProperties({
            [](HWND d) { Click(d, IDC_BROWSE); },
            Over(dialog, [](HWND fileDialog) { PickFile(fileDialog, kToolPath); }),
            On(dialog,
               [&](HWND d) {
                   // The edit shows the chosen path while the dialog is still open.
                   EXPECT_EQ(kToolPath, Text(d, IDC_EXEC_PATH));
                   c.end(d);
               }),
        });
        if (c.saves) {
            ExpectStoredText("ExecPath", kToolPath);
            ExpectStoredText("TagsFileName", "tags");
        } else {
            EXPECT_FALSE(StoredSettingsExist());
        }
    }
}

TEST_F(PropertiesDialogTest, KeyWaitsForTheFocusToComeBack) {
    // As when the window manager takes the focus from the dialog and is slow
    // to give it back, or never does.
    ShowProperties(
        {[](HWND) { SetActiveWindow(nullptr); }, [](HWND d) { PressKey(d, VK_ESCAPE); }});
    EXPECT_FALSE(StoredSettingsExist());
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
        ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings());
        if (c.stored != nullptr) {
            StoreText("ExecPath", c.stored);
        }
        ASSERT_TRUE(SetCurrentDirectoryA(c.currentDirectory));
        g_openFileCalls.clear();
        std::string shownPath;
        ShowProperties({
            [&](HWND d) {
                shownPath = Text(d, IDC_EXEC_PATH);
                Click(d, IDC_BROWSE);
            },
            Over(dialog,
                 [&](HWND fileDialog) {
                     EXPECT_EQ(OpenTitle(), DialogDriver::Text(fileDialog));
                     HWND types = GetDlgItem(fileDialog, 0x470);
                     EXPECT_EQ(1, SendMessageA(types, CB_GETCOUNT, 0, 0));
                     char type[256] = {};
                     SendMessageA(types, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(type));
                     EXPECT_EQ(OpenType(), type);
                     if (c.shownName != nullptr) {
                         EXPECT_EQ(c.shownName, FileName(fileDialog));
                     }
                     if (c.shownFolder != nullptr) {
                         EXPECT_EQ(c.shownFolder, Folder(fileDialog));
                     }
                     Click(fileDialog, IDCANCEL);
                 }),
            On(dialog, [](HWND d) { Click(d, IDOK); }),
        });
        ASSERT_EQ(1u, g_openFileCalls.size());
        EXPECT_EQ(c.initialFile, g_openFileCalls[0].file);
        ExpectBrowseCall(g_openFileCalls[0], dialog);
        // A cancelled browse changes nothing: OK saves the path as shown.
        const std::string stored = c.stored != nullptr ? c.stored : "ctags.exe";
        EXPECT_EQ(stored, shownPath);
        ExpectStoredText("ExecPath", stored);
    }
}

TEST_F(PropertiesDialogTest, BrowseStartsFromTheRecordNotFromTypedText) {
    ShowProperties({
        [](HWND d) {
            // Typed, existing, but not in the record: the browse starts empty.
            SetText(d, IDC_EXEC_PATH, kToolPath);
            Click(d, IDC_BROWSE);
        },
        Over(dialog, [](HWND fileDialog) { PickFile(fileDialog, kOtherPath); }),
        On(dialog,
           [](HWND d) {
               EXPECT_EQ(kOtherPath, Text(d, IDC_EXEC_PATH));
               // The browsed path is in the record now; typed text still is not.
               SetText(d, IDC_EXEC_PATH, kToolPath);
               Click(d, IDC_BROWSE);
           }),
        Over(dialog,
             [](HWND fileDialog) {
                 EXPECT_EQ("alt.exe", FileName(fileDialog));
                 Click(fileDialog, IDCANCEL);
             }),
        On(dialog,
           [](HWND d) {
               EXPECT_EQ(kToolPath, Text(d, IDC_EXEC_PATH));
               Click(d, IDCANCEL);
           }),
    });
    ASSERT_EQ(2u, g_openFileCalls.size());
    EXPECT_EQ("", g_openFileCalls[0].file);
    EXPECT_EQ(kOtherPath, g_openFileCalls[1].file);
    EXPECT_FALSE(StoredSettingsExist());
}

TEST_F(PropertiesDialogTest, FileOpenRefusesAMissingName) {
    HWND fileDialog = nullptr;
    ShowProperties({
        [](HWND d) { Click(d, IDC_BROWSE); },
        Over(dialog,
             [&](HWND shown) {
                 fileDialog = shown;
                 const char missing[] = "K:\\tools\\missing.exe";
                 SendMessageA(FileNameField(shown), WM_SETTEXT, 0,
                              reinterpret_cast<LPARAM>(missing));
                 Click(shown, IDOK);
             }),
        // The file-open dialog complains in a message box of its own and
        // stays open.
        Over(fileDialog, [](HWND complaint) { Click(complaint, IDOK); }),
        On(fileDialog,
           [](HWND shown) {
               EXPECT_TRUE(IsWindowVisible(shown));
               Click(shown, IDCANCEL);
           }),
        On(dialog,
           [](HWND d) {
               EXPECT_EQ("ctags.exe", Text(d, IDC_EXEC_PATH));
               Click(d, IDOK);
           }),
    });
    ExpectStoredText("ExecPath", "ctags.exe");
}

// The dialog procedure edits the record it is given and never saves itself.
TEST_F(PropertiesDialogTest, DialogEditsTheGivenRecordInPlace) {
    const Values given{"T", "-x", kOtherPath, false, true, false};
    Settings settings;
    SetValues(settings, given);
    Values shown;
    LONG_PTR slot = 0;
    const INT_PTR result = ShowDialog(&settings, {[&](HWND d) {
        shown = Read(d);
        slot = GetWindowLongPtrA(d, DWLP_USER); // where the record is kept
        SetText(d, IDC_TAGS_FILE_NAME, "U");
        SendMessageA(GetDlgItem(d, IDC_EXEC_SYNC), BM_CLICK, 0, 0);
        Click(d, IDOK);
    }});
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(given, shown);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&settings), slot);
    EXPECT_EQ((Values{"U", "-x", kOtherPath, true, true, false}), ValuesOf(settings));
    EXPECT_FALSE(StoredSettingsExist());
}

TEST_F(PropertiesDialogTest, NullRecordLeavesTemplateStateAndBrowseDoesNothing) {
    g_callReal = false; // a wrong call must not leave a real dialog open
    Values shown;
    LONG_PTR slot = -1;
    const INT_PTR result =
        ShowDialog(nullptr, {[&](HWND d) {
                       shown = Read(d);
                       slot = GetWindowLongPtrA(d, DWLP_USER); // where the record is kept
                       // Returns after the click.
                       SendMessageA(GetDlgItem(d, IDC_BROWSE), BM_CLICK, 0, 0);
                       SetText(d, IDC_EXEC_PATH, kToolPath);
                       Click(d, IDOK);
                   }});
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ((Values{"", "", "", false, false, false}), shown);
    EXPECT_EQ(0, slot);
    EXPECT_TRUE(g_openFileCalls.empty());
    EXPECT_FALSE(StoredSettingsExist());
}

TEST_F(PropertiesDialogTest, NothingIsSavedWhenTheDialogCannotOpen) {
    HWND gone = CreateWindowExA(0, kHostWindowClass, "Gone", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, gone);
    DestroyWindow(gone);
    Drive([&] { kestrel::ShowProperties(gone); }, {});
    EXPECT_FALSE(StoredSettingsExist());
}

} // namespace
} // namespace kestrel::test
