#include "host/BrowserAnswer.h"

#include <commctrl.h>

#include <vector>

#include "host/Output.h"

namespace kestrel::host {

namespace {

// The static that shows the caller's prompt (BROWSEINFO's lpszTitle); Windows
// and Wine give it the same id.
constexpr int kPromptId = 0x3742;

BOOL CALLBACK FindTree(HWND child, LPARAM found) {
    char name[32] = {};
    GetClassNameA(child, name, sizeof name);
    if (lstrcmpA(name, WC_TREEVIEWA) == 0) {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

// A dialog that holds a folder tree is a browser; the properties dialog and
// the message boxes of the plug-in have none.
HWND FolderTreeOf(HWND dialog) {
    HWND tree = nullptr;
    EnumChildWindows(dialog, &FindTree, reinterpret_cast<LPARAM>(&tree));
    return tree;
}

} // namespace

std::string BrowserSelection(HWND browser) {
    HWND tree = FolderTreeOf(browser);
    std::vector<std::string> names;
    for (HTREEITEM item = tree != nullptr ? TreeView_GetSelection(tree) : nullptr; item != nullptr;
         item = TreeView_GetParent(tree, item)) {
        char name[MAX_PATH] = {};
        TVITEMA query = {};
        query.mask = TVIF_TEXT;
        query.hItem = item;
        query.pszText = name;
        query.cchTextMax = sizeof name;
        SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query));
        names.insert(names.begin(), name);
    }
    std::string selection;
    for (const std::string& name : names) {
        selection += selection.empty() ? name : "\\" + name;
    }
    return selection;
}

void AnswerDialogs(DialogDriver& driver, const HostOptions& options) {
    const BrowseAnswer answer = options.browse;
    const bool scripted = options.run;
    driver.Otherwise([answer, scripted](HWND dialog) {
        const std::string title = AnsiToUtf8(DialogDriver::Text(dialog).c_str());
        if (answer == BrowseAnswer::None || FolderTreeOf(dialog) == nullptr) {
            if (scripted) {
                // The run would wait for a click that never comes; the host's
                // thread is held inside the plug-in: no clean way out.
                PrintLine("unexpected-dialog: " + title);
                TerminateProcess(GetCurrentProcess(), kUnexpectedDialogExitCode);
            }
            return; // left to the person at the screen
        }
        PrintLine("browser-title: " + title);
        PrintLine("browser-prompt: " +
                  AnsiToUtf8(DialogDriver::ItemText(dialog, kPromptId).c_str()));
        PrintLine("browser-selection: " + AnsiToUtf8(BrowserSelection(dialog).c_str()));
        const bool ok = answer == BrowseAnswer::Ok;
        PrintLine(ok ? "browser-press: ok" : "browser-press: cancel");
        DialogDriver::Click(dialog, ok ? IDOK : IDCANCEL);
    });
}

} // namespace kestrel::host
