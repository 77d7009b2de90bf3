// Ends a scripted run that takes too long, even while the host's thread is
// held inside the plug-in: prints "timeout" and ends the process with code 3.
#pragma once

#include <windows.h>

#include "plugin/UniqueAny.h"

namespace kestrel::host {

constexpr UINT kTimeoutExitCode = 3;

class Watchdog {
public:
    Watchdog() = default;
    ~Watchdog() { Disarm(); }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Starts counting; false if the watching thread could not start.
    bool Arm(DWORD timeoutMs);
    // Stops counting and waits for the watching thread to end.
    void Disarm();

private:
    static DWORD WINAPI Watch(void* self);

    DWORD m_timeoutMs = 0;
    UniqueHandle m_disarmed;
    UniqueHandle m_thread;
};

} // namespace kestrel::host
