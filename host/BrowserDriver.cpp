#include "host/BrowserDriver.h"

#include <commctrl.h>

#include <vector>

#include "host/Output.h"

namespace kestrel::host {

namespace {

constexpr DWORD kPollMs = 50;
// The browser selects its initial folder after it shows; give that time to
// happen before reading the selection and answering.
constexpr DWORD kSettleMs = 300;
// The static that shows the caller's prompt (BROWSEINFO's lpszTitle); Windows
// and Wine give it the same id.
constexpr int kPromptId = 0x3742;

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window) {
    const int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(window, &text[0], length + 1)));
    return text;
}

BOOL CALLBACK FindChildOfClass(HWND child, LPARAM found) {
    if (ClassOf(child) == WC_TREEVIEWA) {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

HWND FolderTreeOf(HWND dialog) {
    HWND tree = nullptr;
    EnumChildWindows(dialog, &FindChildOfClass, reinterpret_cast<LPARAM>(&tree));
    return tree;
}

struct BrowserSearch {
    HWND host;
    HWND found;
};

// A visible dialog of the thread that holds a folder tree is a browser; the
// properties dialog and message boxes of the plug-in have none.
BOOL CALLBACK FindBrowserWindow(HWND window, LPARAM context) {
    BrowserSearch& search = *reinterpret_cast<BrowserSearch*>(context);
    if (window != search.host && IsWindowVisible(window) && ClassOf(window) == "#32770" &&
        FolderTreeOf(window) != nullptr) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::string BrowserSelection(HWND browser) {
    HWND tree = FolderTreeOf(browser);
    if (tree == nullptr) {
        return std::string();
    }
    std::vector<std::string> names;
    for (HTREEITEM item = TreeView_GetSelection(tree); item != nullptr;
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

bool BrowserDriver::Start(DWORD uiThreadId, HWND host, BrowseAnswer answer) {
    Stop();
    m_uiThreadId = uiThreadId;
    m_host = host;
    m_answer = answer;
    m_stop.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!m_stop) {
        return false;
    }
    m_thread.Reset(CreateThread(nullptr, 0, &BrowserDriver::Run, this, 0, nullptr));
    return static_cast<bool>(m_thread);
}

void BrowserDriver::Stop() {
    if (m_thread) {
        SetEvent(m_stop.Get());
        WaitForSingleObject(m_thread.Get(), INFINITE);
        m_thread.Reset();
    }
    m_stop.Reset();
}

DWORD WINAPI BrowserDriver::Run(void* self) {
    static_cast<BrowserDriver*>(self)->Drive();
    return 0;
}

HWND BrowserDriver::FindBrowser() const {
    BrowserSearch search = {m_host, nullptr};
    EnumThreadWindows(m_uiThreadId, &FindBrowserWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void BrowserDriver::Report(HWND browser) const {
    PrintLine("browser-title: " + AnsiToUtf8(TextOf(browser).c_str()));
    HWND prompt = GetDlgItem(browser, kPromptId);
    PrintLine("browser-prompt: " + AnsiToUtf8(prompt != nullptr ? TextOf(prompt).c_str() : ""));
    PrintLine("browser-selection: " + AnsiToUtf8(BrowserSelection(browser).c_str()));
}

void BrowserDriver::Drive() {
    // The browser answered last; it may take a moment to close.
    HWND answered = nullptr;
    while (WaitForSingleObject(m_stop.Get(), kPollMs) == WAIT_TIMEOUT) {
        HWND browser = FindBrowser();
        if (browser == nullptr || browser == answered) {
            continue;
        }
        if (WaitForSingleObject(m_stop.Get(), kSettleMs) != WAIT_TIMEOUT) {
            return;
        }
        if (!IsWindow(browser)) {
            continue;
        }
        Report(browser);
        const int button = m_answer == BrowseAnswer::Ok ? IDOK : IDCANCEL;
        PrintLine(button == IDOK ? "browser-press: ok" : "browser-press: cancel");
        // As a click would: the button tells the dialog it was clicked.
        PostMessageA(browser, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(browser, button)));
        answered = browser;
    }
}

} // namespace kestrel::host
