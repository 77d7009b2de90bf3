// A thread that owns windows and waits without serving them hangs every
// program that sends them a message (a broadcast of changed settings), its
// windows stay unpainted, and after five seconds Windows marks it "Not
// Responding" and offers to end it, unsaved documents and all. So the
// editor's thread waits with MsgWaitForMultipleObjects, woken by the process
// handle, a sent message or a paint, never by a timer.
//
// Nothing else is taken from the queue: a key press, a posted command or a
// timer handled now would run the editor's own code in the middle of the
// command, a second command or a document closed under this one.
// A WM_QUIT stays queued too: only a peek that takes posted messages
// returns it. PeekMessage is documented to return it whatever message range
// it is given, so where one of these peeks takes it all the same, it is put
// back once the wait ends, and the editor's loop still sees it.
#include "tagupdate/WaitServingMessages.h"

namespace kestrel {
namespace {

constexpr DWORD kWakeMask = QS_SENDMESSAGE | QS_PAINT;
// A window that never validates itself gets WM_PAINT again and again; the
// rest wait for the next wake-up.
constexpr int kPaintsPerWakeUp = 64;

class MessageServer {
public:
    MessageServer() = default;
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

void WaitServingMessages(HANDLE process) {
    MessageServer server;
    while (MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, kWakeMask) ==
           WAIT_OBJECT_0 + 1) {
        server.Serve();
    }
}

void PauseServingMessages(DWORD ms) {
    MessageServer server;
    const DWORD start = GetTickCount();
    for (DWORD passed = 0; passed < ms && MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - passed,
                                                                    kWakeMask) == WAIT_OBJECT_0;
         passed = GetTickCount() - start) {
        server.Serve();
    }
}

} // namespace kestrel
