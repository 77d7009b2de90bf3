// A thread for work that allocates, made for a thread that must not throw
// (the completion watcher). The runtime keeps some state of its exception
// handling per thread and allocates it the first time a thread throws; a
// thread whose first throw comes when memory has run out ends the editor.
// So this thread is made ready first, with room for that state, and work on
// it that runs out of memory later only fails; a thread that found no room
// is given no work.
#pragma once

#include <windows.h>

#include "plugin/UniqueAny.h"

namespace kestrel {

class ReadyThread {
public:
    using Work = void (*)(void* context);

    // Makes the thread and waits until it is ready, or has found no memory
    // to be made ready with.
    ReadyThread();
    // Lets the thread end and waits for it.
    ~ReadyThread();
    ReadyThread(const ReadyThread&) = delete;
    ReadyThread& operator=(const ReadyThread&) = delete;

    explicit operator bool() const { return m_ready; }

    // Does work(context) on the thread and waits until it has returned.
    // False when there is no ready thread or the work ran out of memory
    // (std::bad_alloc, the only exception it may throw). Allocates nothing.
    bool Run(Work work, void* context);

private:
    static DWORD WINAPI Start(void* self);

    UniqueHandle m_go;   // set for each piece of work, and to end
    UniqueHandle m_done; // set when the thread is ready and after each piece
    UniqueHandle m_thread;
    Work m_work = nullptr; // null: end
    void* m_context = nullptr;
    bool m_ready = false;
    bool m_outOfMemory = false;
};

} // namespace kestrel
