#include "host/DialogDriver.h"

#include <algorithm>

namespace kestrel {

namespace {

// The driver of the hooked thread; the hook and the timer run on that thread.
thread_local DialogDriver* t_driver = nullptr;

constexpr UINT kTickMs = 10;
// How long a shown dialog may go without the focus before it is brought
// forward, as a click on it would; and before it is handed to its step all
// the same (a click needs no focus, a key goes nowhere), so that a dialog
// that never gets the focus fails its test instead of hanging it.
constexpr DWORD kFocusPatienceMs = 2000;
constexpr DWORD kFocusGiveUpMs = 20000;

bool HoldsFocus(HWND dialog) {
    HWND focus = GetFocus();
    return focus != nullptr && (focus == dialog || IsChild(dialog, focus));
}

bool IsTopLevelDialog(HWND window) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    return lstrcmpA(name, "#32770") == 0 && (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) == 0;
}

} // namespace

DialogDriver::DialogDriver()
    : m_hook(
          SetWindowsHookExA(WH_CALLWNDPROC, &DialogDriver::Hook, nullptr, GetCurrentThreadId())) {
    t_driver = this;
}

DialogDriver::~DialogDriver() {
    if (m_timer != 0) {
        KillTimer(nullptr, m_timer);
    }
    t_driver = nullptr;
}

LRESULT CALLBACK DialogDriver::Hook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    DialogDriver* self = t_driver;
    if (code == HC_ACTION && self != nullptr) {
        if (sent->message == WM_INITDIALOG && IsTopLevelDialog(sent->hwnd)) {
            self->m_open.push_back(sent->hwnd);
            if (self->m_timer == 0) {
                self->m_timer = SetTimer(nullptr, 0, kTickMs, &DialogDriver::Tick);
            }
        } else if (sent->message == WM_NCDESTROY) {
            auto& open = self->m_open;
            open.erase(std::remove(open.begin(), open.end(), sent->hwnd), open.end());
            if (open.empty() && self->m_timer != 0) {
                KillTimer(nullptr, self->m_timer);
                self->m_timer = 0;
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK DialogDriver::Tick(HWND, UINT, UINT_PTR, DWORD) {
    DialogDriver* self = t_driver;
    if (self != nullptr && !self->m_inStep && !self->m_open.empty() &&
        self->WaitsForUser(self->m_open.back())) {
        self->m_inStep = true;
        self->OnWaiting(self->m_open.back());
        self->m_inStep = false;
    }
}

bool DialogDriver::WaitsForUser(HWND dialog) {
    // A dialog that is not shown yet, or hidden by EndDialog, waits for
    // nobody.
    if (!IsWindowVisible(dialog) || !IsWindowEnabled(dialog)) {
        return false;
    }
    if (HoldsFocus(dialog)) {
        m_unfocused = nullptr;
        return true;
    }
    if (m_unfocused != dialog) {
        m_unfocused = dialog;
        m_unfocusedSince = GetTickCount();
    }
    const DWORD waited = GetTickCount() - m_unfocusedSince;
    if (waited >= kFocusPatienceMs && waited < kFocusGiveUpMs) {
        SetForegroundWindow(dialog);
    }
    return waited >= kFocusGiveUpMs;
}

void DialogDriver::OnWaiting(HWND dialog) {
    if (!m_steps.empty()) {
        const Step step = std::move(m_steps.front());
        m_steps.pop_front();
        step(dialog);
        return;
    }
    if (!m_handled.insert(dialog).second) {
        return;
    }
    if (m_standing) {
        m_standing(dialog);
        return;
    }
    ++m_leftOpen;
    EndDialog(dialog, IDCANCEL);
}

void DialogDriver::Click(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

bool DialogDriver::PressKey(HWND dialog, WPARAM key) {
    if (!HoldsFocus(dialog)) {
        return false;
    }
    HWND focus = GetFocus();
    return PostMessageA(focus, WM_KEYDOWN, key, 1) &&
           PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
}

std::string DialogDriver::Text(HWND window) {
    std::vector<char> text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1);
    GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    return text.data();
}

std::string DialogDriver::ItemText(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item != nullptr ? Text(item) : std::string();
}

} // namespace kestrel
