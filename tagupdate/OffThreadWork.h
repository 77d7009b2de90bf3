// Work that may take long (a slow volume's answer, a huge file read, a tree
// walked), done on a thread of its own while the editor's thread waits for
// it as WaitServingMessages does: its windows stay painted and answer what
// other threads and programs send them, its queue is read at least twice a
// second, and its input stays queued until the command has returned.
//
// The thread is made when the OffThreadWork is made, suspended, so that a
// caller can be sure of it before it starts what cannot be taken back (a
// ctags process), and refuse to start instead. Nothing is allocated once it
// runs. The caller keeps this library loaded while Run serves messages
// (LibraryHold), as for every wait that serves them: a message handled
// meanwhile may make the editor free its plug-ins.
#pragma once

#include <windows.h>

#include "plugin/UniqueAny.h"

namespace kestrel {

// What runs off the editor's thread: work(context). It may throw
// std::bad_alloc and nothing else.
using Work = void (*)(void* context);

class OffThreadWork {
public:
    // Makes the thread, suspended; without it, Run does the work itself.
    OffThreadWork(Work work, void* context);
    // A thread never let go ends without doing the work.
    ~OffThreadWork();
    OffThreadWork(const OffThreadWork&) = delete;
    OffThreadWork& operator=(const OffThreadWork&) = delete;

    // Whether the thread was made.
    explicit operator bool() const { return static_cast<bool>(m_thread); }

    // Once: does the work on the thread, serving the calling thread's
    // windows until it has returned; on the calling thread where there is no
    // thread or it cannot be let go. A std::bad_alloc thrown by the work is
    // thrown again here.
    void Run();

private:
    static DWORD WINAPI Start(void* self);

    Work m_work;
    void* m_context;
    bool m_letGo = false; // read by the thread only once it runs
    bool m_outOfMemory = false;
    UniqueHandle m_thread;
};

// Does work(context) off the calling thread, serving its windows meanwhile;
// on the calling thread where no thread can be made.
void RunServingMessages(Work work, void* context);

} // namespace kestrel
