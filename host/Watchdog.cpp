#include "host/Watchdog.h"

#include "host/Output.h"

namespace kestrel::host {

bool Watchdog::Arm(DWORD timeoutMs) {
    Disarm();
    m_timeoutMs = timeoutMs;
    m_disarmed.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!m_disarmed) {
        return false;
    }
    m_thread.Reset(CreateThread(nullptr, 0, &Watchdog::Watch, this, 0, nullptr));
    return static_cast<bool>(m_thread);
}

void Watchdog::Disarm() {
    if (m_thread) {
        SetEvent(m_disarmed.Get());
        WaitForSingleObject(m_thread.Get(), INFINITE);
        m_thread.Reset();
    }
    m_disarmed.Reset();
}

DWORD WINAPI Watchdog::Watch(void* self) {
    Watchdog& watchdog = *static_cast<Watchdog*>(self);
    if (WaitForSingleObject(watchdog.m_disarmed.Get(), watchdog.m_timeoutMs) == WAIT_TIMEOUT) {
        PrintLine("timeout");
        // The host's thread may be held inside the plug-in: no clean way out.
        TerminateProcess(GetCurrentProcess(), kTimeoutExitCode);
    }
    return 0;
}

} // namespace kestrel::host
