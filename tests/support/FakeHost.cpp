#include "tests/support/FakeHost.h"

#include <cstring>

#include "plugin/HostInterface.h"
#include "tests/support/EventLog.h"

namespace kestrel::test {

FakeHost::FakeHost() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "KestrelTestHost";
    RegisterClassA(&windowClass); // fails harmlessly once registered
    m_window = CreateWindowExA(0, "KestrelTestHost", "Kestrel test host", WS_OVERLAPPEDWINDOW, 0, 0,
                               400, 300, nullptr, nullptr, GetModuleHandleA(nullptr), this);
    SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ShowWindow(m_window, SW_SHOW);
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
    if (message == kStatusTextMessage) {
        RecordEvent(Event::Status, reinterpret_cast<const char*>(lParam));
        return 0;
    }
    if (message == kDocumentPathQuery && wParam == kDocumentPathQueryKind && self != nullptr) {
        char* buffer = reinterpret_cast<char*>(lParam);
        switch (self->m_answer) {
        case PathAnswer::Text:
            lstrcpynA(buffer, self->m_path.c_str(), kPathBufferSize);
            break;
        case PathAnswer::Unterminated: // every byte written, no NUL anywhere
            std::memset(buffer, 'x', kPathBufferSize);
            std::memcpy(buffer, self->m_path.data(),
                        self->m_path.size() < kPathBufferSize ? self->m_path.size()
                                                              : kPathBufferSize);
            break;
        case PathAnswer::Nothing:
            break;
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace kestrel::test
