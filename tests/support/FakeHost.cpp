#include "tests/support/FakeHost.h"

#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

#include "plugin/HostInterface.h"
#include "tests/support/Dialogs.h"
#include "tests/support/EventLog.h"

namespace kestrel::test {

constexpr UINT_PTR kDialogWatch = 1;

FakeHost::FakeHost() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kHostWindowClass;
    RegisterClassA(&windowClass); // fails harmlessly once registered
    m_window = CreateWindowExA(0, kHostWindowClass, "Kestrel test host", WS_OVERLAPPEDWINDOW, 0, 0,
                               400, 300, nullptr, nullptr, GetModuleHandleA(nullptr), this);
    if (m_window == nullptr) { // no status text could reach the test
        ADD_FAILURE() << "no host window, error " << GetLastError() << ": is the X display gone?";
    }
    SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ShowWindow(m_window, SW_SHOW);
    SetTimer(m_window, kDialogWatch, 1000, nullptr); // runs in the dialogs' modal loops too
}

FakeHost::~FakeHost() {
    DestroyWindow(m_window);
}

void FakeHost::SetDocumentPath(const std::string& path, PathAnswer answer) {
    m_path = path;
    m_answer = answer;
}

bool FakeHost::PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() > end) {
            return false;
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

LRESULT CALLBACK FakeHost::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    FakeHost* self = reinterpret_cast<FakeHost*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_TIMER && wParam == kDialogWatch && self != nullptr) {
        HWND dialog = FindOwnedDialog(window);
        if (dialog == nullptr || DialogExpected()) {
            self->m_unexpectedTicks = 0;
        } else if (++self->m_unexpectedTicks >= 2) {
            char title[256] = {};
            GetWindowTextA(dialog, title, sizeof title);
            ADD_FAILURE() << "a dialog opened that the test did not expect: \"" << title << '"';
            if (++self->m_unexpectedDialogs > 1) { // a test that loops would run for minutes
                std::fflush(stdout);
                ExitProcess(1);
            }
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            PostMessageA(dialog, WM_COMMAND, IDNO, 0); // a message box without Cancel
            self->m_unexpectedTicks = 0;
        }
        return 0;
    }
    if (message == kStatusTextMessage) {
        RecordEvent(Event::Status, reinterpret_cast<const char*>(lParam));
        if (self != nullptr && self->m_onStatus) {
            self->m_onStatus(reinterpret_cast<const char*>(lParam));
        }
        return 0;
    }
    if (message == kDocumentPathQuery && wParam == kDocumentPathQueryKind && self != nullptr) {
        char* buffer = reinterpret_cast<char*>(lParam);
        if (self->m_answer == PathAnswer::Text) {
            lstrcpynA(buffer, self->m_path.c_str(), kPathBufferSize);
        } else if (self->m_answer == PathAnswer::Unterminated) { // no NUL anywhere
            std::memset(buffer, 'x', kPathBufferSize);
            self->m_path.copy(buffer, kPathBufferSize);
        } // PathAnswer::Nothing leaves the buffer as it is
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace kestrel::test
