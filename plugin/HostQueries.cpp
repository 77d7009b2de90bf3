#include "plugin/HostQueries.h"

#include <new>

#include "plugin/LibraryHold.h"
#include "resources/resource.h"
#include "settings/PropertiesDialog.h"
#include "settings/SettingsStore.h"
#include "text/ResourceText.h"

namespace kestrel {
namespace {

constexpr int kQueryTextSize = 80;

// Copies string `id` to `buffer` (capacity in characters with the terminator)
// when the buffer is not null; returns the text's length + 1 either way.
LRESULT CopyResourceText(UINT id, WPARAM capacity, LPARAM buffer) {
    char text[kQueryTextSize];
    LoadResourceText(id, text, kQueryTextSize);
    if (buffer != 0) {
        lstrcpynA(reinterpret_cast<char*>(buffer), text, static_cast<int>(capacity));
    }
    return lstrlenA(text) + 1;
}

// Asks whether to uninstall; on Yes deletes the settings key and answers 1.
LRESULT Uninstall(HWND hwnd) {
    LibraryHold hold(hwnd); // the message box serves the editor's messages
    hold.Take();
    char question[kQueryTextSize];
    LoadResourceText(IDS_UNINSTALL_QUESTION, question, kQueryTextSize);
    if (MessageBoxA(hwnd, question, "EmEditor", MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return 0;
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKeyPath); // a missing key is fine
    return 1;
}

} // namespace

LRESULT AnswerHostQuery(HWND hwnd, UINT code, WPARAM first, LPARAM second) {
    switch (code) {
    case kQueryHasProperties:
        return 1;
    case kQueryProperties:
        try {
            ShowProperties(hwnd);
        } catch (const std::bad_alloc&) { // the answer stays 1 whatever the dialog's fate
        }
        return 1;
    case kQueryName:
        return CopyResourceText(IDS_PLUGIN_NAME, first, second);
    case kQueryVersion:
        return CopyResourceText(IDS_PLUGIN_VERSION, first, second);
    case kQueryUninstall:
        return Uninstall(hwnd);
    case kQueryBitmap:
        return (first & 1) ? IDB_LARGE : IDB_SMALL;
    case kQuery0906:
        return 1;
    case kQuery0903:
    case kQuery0905:
    case kQuery0909:
    default:
        return 0;
    }
}

} // namespace kestrel
