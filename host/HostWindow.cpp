#include "host/HostWindow.h"

#include <commctrl.h>

#include <string>

#include "host/EditorMessages.h"
#include "host/Output.h"

namespace kestrel::host {

namespace {

const char kWindowClass[] = "KestrelHostWindow";
const char kCaption[] = "Kestrel host";

constexpr UINT kUpdateTagsItem = 100;
constexpr UINT kPropertiesItem = 101;
constexpr UINT kExitItem = 102;

// Posted to itself once the window shows: starts the scripted run.
constexpr UINT kStartScriptMessage = WM_APP + 1;
// Frees the plug-in, with --unload-on-message.
constexpr UINT kUnloadPlugInMessage = WM_APP + 2;
constexpr UINT_PTR kHoldTimer = 1;

bool RegisterWindowClass(HINSTANCE instance, WNDPROC windowProc) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// The first line of a status message: its description, before the short form.
std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

} // namespace

HostWindow::HostWindow(const HostOptions& options, PlugIn& plugIn)
    : m_options(options), m_plugIn(plugIn) {
    if (options.run) {
        m_script = std::make_unique<ScriptedRun>(options, plugIn);
    }
}

HostWindow::~HostWindow() {
    if (m_window != nullptr) {
        DestroyWindow(m_window);
    }
}

bool HostWindow::Create() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterWindowClass(instance, &HostWindow::WindowProc)) {
        return false;
    }
    HMENU menu = CreateMainMenu();
    m_window = CreateWindowExA(0, kWindowClass, kCaption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                               CW_USEDEFAULT, 640, 400, nullptr, menu, instance, this);
    if (m_window == nullptr) {
        DestroyMenu(menu);
        return false;
    }
    ShowWindow(m_window, SW_SHOW);
    UpdateWindow(m_window);
    if (m_script) {
        PostMessageA(m_window, kStartScriptMessage, 0, 0);
    }
    return true;
}

int HostWindow::RunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

HMENU HostWindow::CreateMainMenu() {
    HMENU tags = CreatePopupMenu();
    const std::string menuText = m_plugIn.MenuText();
    AppendMenuA(tags, MF_STRING, kUpdateTagsItem,
                menuText.empty() ? "Update tags" : menuText.c_str());
    AppendMenuA(tags, MF_STRING, kPropertiesItem, "Properties...");
    AppendMenuA(tags, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(tags, MF_STRING, kExitItem, "Exit");
    m_commandBitmap.Reset(m_plugIn.LoadCommandBitmap());
    if (m_commandBitmap.Get() != nullptr) {
        SetMenuItemBitmaps(tags, kUpdateTagsItem, MF_BYCOMMAND, m_commandBitmap.Get(),
                           m_commandBitmap.Get());
    }
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(tags), "Tags");
    return bar;
}

LRESULT CALLBACK HostWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* self = static_cast<HostWindow*>(create->lpCreateParams);
        self->m_window = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT HostWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        m_statusBar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                      m_window, nullptr, GetModuleHandleA(nullptr), nullptr);
        return m_statusBar != nullptr ? 0 : -1;
    case WM_SIZE:
        SendMessageA(m_statusBar, WM_SIZE, 0, 0);
        return 0;
    case WM_COMMAND:
        if (lParam == 0) {
            OnMenuCommand(LOWORD(wParam));
        }
        return 0;
    case WM_INITMENUPOPUP:
        OnInitMenu(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_MENUSELECT:
        if (LOWORD(wParam) == kUpdateTagsItem && HIWORD(wParam) != 0xFFFF) {
            ShowStatus(FirstLine(m_plugIn.StatusMessage()).c_str());
        }
        return 0;
    case kStatusTextMessage:
        OnStatusText(reinterpret_cast<const char*>(lParam));
        return 0;
    case kDocumentPathQuery:
        if (wParam == kDocumentPathQueryKind && lParam != 0) {
            OnDocumentPathQuery(reinterpret_cast<char*>(lParam));
        }
        return 0;
    case kStartScriptMessage:
        if (m_script && m_script->Start(m_window)) {
            FinishScriptedRun();
        }
        return 0;
    case kUnloadPlugInMessage:
        if (m_options.unloadOnMessage && m_plugIn.IsLoaded()) {
            m_plugIn.Unload();
            PrintLine("unloaded");
        }
        return 0;
    case WM_TIMER:
        if (wParam == kHoldTimer) {
            KillTimer(m_window, kHoldTimer);
            DestroyWindow(m_window);
        }
        return 0;
    case WM_CLOSE:
        DestroyWindow(m_window);
        return 0;
    case WM_DESTROY:
        m_window = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(m_window, message, wParam, lParam);
    }
}

void HostWindow::OnMenuCommand(UINT id) {
    if (id == kUpdateTagsItem) {
        m_plugIn.OnCommand(m_window);
    } else if (id == kPropertiesItem) {
        LRESULT result = 0;
        m_plugIn.PlugInProc(m_window, kPropertiesQuery, 0, 0, result);
    } else if (id == kExitItem) {
        DestroyWindow(m_window);
    }
}

void HostWindow::OnInitMenu(HMENU menu) {
    BOOL checked = FALSE;
    BOOL enabled = TRUE;
    if (!m_plugIn.IsLoaded()) {
        enabled = FALSE;
    } else if (!m_plugIn.QueryStatus(m_window, checked, enabled)) {
        enabled = TRUE;
    }
    EnableMenuItem(menu, kUpdateTagsItem, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    CheckMenuItem(menu, kUpdateTagsItem, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void HostWindow::OnStatusText(const char* text) {
    if (text == nullptr) {
        text = "";
    }
    // Read before anything else is sent: it describes this message only.
    const bool sentByOtherThread = (InSendMessageEx(nullptr) & ISMEX_SEND) != 0;
    ShowStatus(text);
    PrintLine("status: " + AnsiToUtf8(text));
    if (m_script && m_script->OnStatusText(sentByOtherThread)) {
        FinishScriptedRun();
    }
}

void HostWindow::OnDocumentPathQuery(char* buffer) {
    // The editor's answer always ends: at most 259 bytes and the NUL.
    lstrcpynA(buffer, m_options.documentPath.c_str(), kPathBufferSize);
    PrintLine("document-path: " + AnsiToUtf8(buffer));
}

void HostWindow::ShowStatus(const char* text) {
    SendMessageA(m_statusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
}

void HostWindow::FinishScriptedRun() {
    PrintLine("done");
    if (m_options.holdMs > 0) { // stays on screen a while, for people and screenshots
        SetTimer(m_window, kHoldTimer, m_options.holdMs, nullptr);
        return;
    }
    DestroyWindow(m_window);
}

} // namespace kestrel::host
