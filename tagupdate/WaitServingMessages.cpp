// A thread that owns windows and waits without serving them hangs every
// program that sends them a message (a broadcast of changed settings), and
// its windows stay unpainted. Windows also calls such a thread hung, and its
// window "Not Responding", when it has neither read its queue nor waited for
// input for five seconds; the window then turns into a ghost whose close box
// offers to end the editor, unsaved documents and all. So the editor's
// thread waits with MsgWaitForMultipleObjects, woken by the handle it waits
// for, a sent message or a paint, and at least every half second to read its
// queue; the wait still ends as soon as the handle is signalled.
//
// Nothing else is taken from the queue: a key press, a posted command or a
// timer handled now would run the editor's own code in the middle of the
// command, a document closed under it. Input is left out of the wake mask
// too: input that stays queued would wake the wait again and again.
//
// WM_QUIT stays queued as well. PeekMessage is documented to return it
// whatever filter it is given; this Wine never does for these peeks, Windows
// may. A WM_QUIT taken that way is put back, with its exit code, once the
// wait ends, so the editor's loop still sees it, after what was queued
// before it.
#include "tagupdate/WaitServingMessages.h"

namespace kestrel {
namespace {

constexpr DWORD kWakeMask = QS_SENDMESSAGE | QS_PAINT;
// Well inside the five seconds after which Windows calls a thread hung.
constexpr DWORD kQueueReadMs = 500;
// A window that never validates itself gets WM_PAINT again and again; the
// rest wait for the next wake-up.
constexpr int kPaintsPerWakeUp = 64;

class MessageServer {
public:
    // Paints already pending are served first: a wait does not wake for them.
    MessageServer() { Serve(); }
    ~MessageServer() {
        if (m_quit) {
            PostQuitMessage(m_quitCode);
        }
    }
    MessageServer(const MessageServer&) = delete;
    MessageServer& operator=(const MessageServer&) = delete;

    void Serve() {
        MSG message;
        // Calls the window procedures for the messages sent; retrieves nothing.
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        for (int painted = 0; painted < kPaintsPerWakeUp &&
                              PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT);
             ++painted) {
            if (message.message == WM_QUIT) {
                m_quit = true;
                m_quitCode = static_cast<int>(message.wParam);
            } else {
                DispatchMessageA(&message);
            }
        }
    }

private:
    bool m_quit = false;
    int m_quitCode = 0;
};

} // namespace

void WaitServingMessages(HANDLE handle) {
    MessageServer server;
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &handle, FALSE, kQueueReadMs, kWakeMask);
        if (woken == WAIT_OBJECT_0) {
            return;
        }
        if (woken != WAIT_OBJECT_0 + 1 && woken != WAIT_TIMEOUT) {
            // No wait that serves is possible: still not before it is signalled.
            WaitForSingleObject(handle, INFINITE);
            return;
        }
        server.Serve();
    }
}

} // namespace kestrel
