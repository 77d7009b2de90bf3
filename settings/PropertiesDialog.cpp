#include "settings/PropertiesDialog.h"

#include <new>

#include "plugin/LibraryHold.h"
#include "plugin/ModuleState.h"
#include "resources/resource.h"
#include "settings/FileOpen.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"

namespace kestrel {
namespace {

// Room for an edit's text with its NUL; a longer text keeps its first 1023
// bytes.
constexpr int kEditCapacity = 1024;

// The record being edited lives in the dialog's user slot from the end of
// WM_INITDIALOG on; it stays null when the dialog got no record.
void StoreRecord(HWND dialog, Settings* settings) {
#ifdef _WIN64
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(settings));
#else
    SetWindowLongA(dialog, DWL_USER, reinterpret_cast<LONG>(settings));
#endif
}

Settings* StoredRecord(HWND dialog) {
#ifdef _WIN64
    return reinterpret_cast<Settings*>(GetWindowLongPtrA(dialog, DWLP_USER));
#else
    return reinterpret_cast<Settings*>(GetWindowLongA(dialog, DWL_USER));
#endif
}

void SetCheck(HWND dialog, int id, bool on) {
    SendMessageA(GetDlgItem(dialog, id), BM_SETCHECK, on ? 1 : 0, 0);
}

bool IsChecked(HWND dialog, int id) {
    return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) != 0;
}

// Reads straight into the field's own buffer; the edit's length is not asked
// for first.
void ReadEdit(HWND dialog, int id, CountedString& field) {
    char* buffer = field.GetBuffer(kEditCapacity);
    GetDlgItemTextA(dialog, id, buffer, kEditCapacity);
    field.ReleaseBuffer(-1);
}

void ShowRecord(HWND dialog, const Settings& settings) {
    SetDlgItemTextA(dialog, IDC_TAGS_FILE_NAME, settings.TagsFileName.Chars());
    SetDlgItemTextA(dialog, IDC_EXEC_OPTION, settings.ExecOption.Chars());
    SetDlgItemTextA(dialog, IDC_EXEC_PATH, settings.ExecPath.Chars());
    SetCheck(dialog, IDC_EXEC_SYNC, settings.ExecSync);
    SetCheck(dialog, IDC_SHOW_CONSOLE, settings.ShowConsole);
    SetCheck(dialog, IDC_ASK_FOLDER, settings.AskFolder);
}

void ReadRecord(HWND dialog, Settings& settings) {
    ReadEdit(dialog, IDC_TAGS_FILE_NAME, settings.TagsFileName);
    ReadEdit(dialog, IDC_EXEC_OPTION, settings.ExecOption);
    ReadEdit(dialog, IDC_EXEC_PATH, settings.ExecPath);
    settings.ExecSync = IsChecked(dialog, IDC_EXEC_SYNC);
    settings.ShowConsole = IsChecked(dialog, IDC_SHOW_CONSOLE);
    settings.AskFolder = IsChecked(dialog, IDC_ASK_FOLDER);
}

// Starts from the record's path, not from what the edit shows now: typed text
// is taken only on OK.
void Browse(HWND dialog, Settings& settings) {
    CountedString chosen;
    if (AskForExecutable(dialog, settings.ExecPath, chosen)) {
        settings.ExecPath = chosen;
        SetDlgItemTextA(dialog, IDC_EXEC_PATH, settings.ExecPath.Chars());
    }
}

INT_PTR OnCommand(HWND dialog, int id) {
    Settings* settings = StoredRecord(dialog);
    switch (id) {
    case IDOK:
        if (settings != nullptr) {
            ReadRecord(dialog, *settings);
        }
        EndDialog(dialog, IDOK);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    case IDC_BROWSE:
        if (settings != nullptr) {
            Browse(dialog, *settings);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void ShowProperties(HWND owner) {
    // The dialog's loop, and that of the file-open dialog over it, serve the
    // editor's messages: the editor may free its plug-ins meanwhile, or a
    // command run from there may let go of its own hold on the library.
    LibraryHold hold(owner);
    hold.Take();
    Settings settings;
    LoadSettings(settings);
    const INT_PTR result =
        DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(IDD_PROPERTIES), owner,
                        PropertiesDialogProc, reinterpret_cast<LPARAM>(&settings));
    // 2 after Cancel or close, -1 or 0 when the dialog never came up.
    if (result == IDOK) {
        SaveSettings(settings);
    }
}

INT_PTR CALLBACK PropertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        if (lParam != 0) {
            Settings* settings = reinterpret_cast<Settings*>(lParam);
            ShowRecord(dialog, *settings);
            StoreRecord(dialog, settings);
        }
        return FALSE; // the dialog manager sets no initial focus
    case WM_COMMAND:
        // An exception must not unwind through the dialog manager's frames.
        // Out of memory while reading the controls or browsing, the dialog
        // stays open as it was, so nothing half-read is ever saved.
        try {
            return OnCommand(dialog, LOWORD(wParam));
        } catch (const std::bad_alloc&) {
            return TRUE;
        }
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace kestrel
