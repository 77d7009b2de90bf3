// A host window on the test's thread that answers the plug-in as the editor
// does: it gives the document path and logs every status text. A dialog that
// opens over it while no dialog steps run fails the test and is cancelled
// within two seconds, so that a test never hangs on it; a second one ends the
// program.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

namespace kestrel::test {

// The window class of the test programs' host windows, registered by
// FakeHost and by the programs that show a window of their own.
inline constexpr char kHostWindowClass[] = "KestrelTestHost";

class FakeHost {
public:
    enum class PathAnswer { Text, Unterminated, Nothing };

    FakeHost();
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    HWND Window() const { return m_window; }

    // The document path as the editor would write it (system code page).
    void SetDocumentPath(const std::string& path, PathAnswer answer = PathAnswer::Text);

    // Calls `action` with each status text as it arrives (null: none).
    void OnStatusText(std::function<void(const std::string&)> action) {
        m_onStatus = std::move(action);
    }

    // Handles messages, sent ones from other threads too, until done() or
    // the time is up; false on time-out.
    static bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 60000);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_window = nullptr;
    std::string m_path;
    PathAnswer m_answer = PathAnswer::Text;
    std::function<void(const std::string&)> m_onStatus;
    int m_unexpectedTicks = 0; // seconds an unexpected dialog has been open
    int m_unexpectedDialogs = 0;
};

} // namespace kestrel::test
