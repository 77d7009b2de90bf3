// Presses a button of the next dialog that opens over a window, as a person
// would, from a thread of its own while the dialog's modal loop runs.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace kestrel::test {

class DialogDriver {
public:
    // Waits up to timeoutMs for a visible dialog owned by `owner`, lets it
    // settle for settleMs, then presses the button with id `button`.
    DialogDriver(HWND owner, int button, DWORD settleMs = 500, DWORD timeoutMs = 30000);
    ~DialogDriver(); // waits for the driving thread
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    void Join();
    bool Pressed() const { return m_pressed; }
    const std::string& Title() const { return m_title; } // valid after Join
    // The dialog's prompt: the folder browser's title text, or a message
    // box's text. Valid after Join.
    const std::string& Prompt() const { return m_prompt; }

private:
    void Drive(HWND owner, int button, DWORD settleMs, DWORD timeoutMs);

    std::atomic<bool> m_pressed{false};
    std::string m_title;
    std::string m_prompt;
    std::thread m_thread;
};

// The top-level dialog owned by `owner`, or null.
HWND FindOwnedDialog(HWND owner);

// True while a DialogDriver waits for or answers a dialog.
bool DialogExpected();

} // namespace kestrel::test
