#include "tests/support/DialogDriver.h"

#include <atomic>

namespace kestrel::test {
namespace {

std::atomic<int> g_drivers{0};

struct Search {
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM parameter) {
    Search* search = reinterpret_cast<Search*>(parameter);
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") == 0 && IsWindowVisible(window) &&
        GetWindow(window, GW_OWNER) == search->owner) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND FindOwnedDialog(HWND owner) {
    Search search = {owner, nullptr};
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

DialogDriver::DialogDriver(HWND owner, int button, DWORD settleMs, DWORD timeoutMs)
    : m_thread(&DialogDriver::Drive, this, owner, button, settleMs, timeoutMs) {
    ++g_drivers;
}

DialogDriver::~DialogDriver() {
    Join();
}

void DialogDriver::Join() {
    if (m_thread.joinable()) {
        m_thread.join();
        --g_drivers;
    }
}

bool DialogExpected() {
    return g_drivers > 0;
}

void DialogDriver::Drive(HWND owner, int button, DWORD settleMs, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    HWND dialog = nullptr;
    while ((dialog = FindOwnedDialog(owner)) == nullptr) {
        if (GetTickCount64() > end) {
            return;
        }
        Sleep(50);
    }
    Sleep(settleMs);
    char title[256] = {};
    GetWindowTextA(dialog, title, sizeof title);
    m_title = title;
    // The folder browser shows its title text in control 0x3742, a message
    // box its text in a static control 0xFFFF.
    for (int id : {0x3742, 0xFFFF}) {
        char prompt[512] = {};
        if (GetDlgItemTextA(dialog, id, prompt, sizeof prompt) > 0) {
            m_prompt = prompt;
            break;
        }
    }
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
    m_pressed = true;
}

} // namespace kestrel::test
