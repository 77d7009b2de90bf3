// Answers the shell's folder browser the way a person would: a helper thread
// watches the host's user-interface thread for a browser dialog, reports what
// it shows and presses OK or Cancel, once for every browser that opens.
#pragma once

#include <windows.h>

#include <string>

#include "host/HostOptions.h"
#include "plugin/UniqueAny.h"

namespace kestrel::host {

class BrowserDriver {
public:
    BrowserDriver() = default;
    ~BrowserDriver() { Stop(); }
    BrowserDriver(const BrowserDriver&) = delete;
    BrowserDriver& operator=(const BrowserDriver&) = delete;

    // Watches the top-level windows of `uiThreadId` except `host`.
    bool Start(DWORD uiThreadId, HWND host, BrowseAnswer answer);
    void Stop();

private:
    static DWORD WINAPI Run(void* self);
    void Drive();
    HWND FindBrowser() const;
    void Report(HWND browser) const;

    DWORD m_uiThreadId = 0;
    HWND m_host = nullptr;
    BrowseAnswer m_answer = BrowseAnswer::None;
    UniqueHandle m_stop;
    UniqueHandle m_thread;
};

// What the browser's folder tree has selected: the display names from the
// tree's root down to the selection, joined by backslashes.
std::string BrowserSelection(HWND browser);

} // namespace kestrel::host
