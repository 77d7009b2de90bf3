#include "tagupdate/ReadyThread.h"

#include <cstdlib>
#include <exception>
#include <new>

namespace kestrel {

ReadyThread::ReadyThread()
    : m_go(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_done(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
    if (!m_go || !m_done) {
        return;
    }
    m_thread.Reset(CreateThread(nullptr, 0, Start, this, 0, nullptr));
    if (m_thread) {
        const HANDLE ends[] = {m_done.Get(), m_thread.Get()};
        WaitForMultipleObjects(2, ends, FALSE, INFINITE);
    }
}

ReadyThread::~ReadyThread() {
    if (m_thread) {
        m_work = nullptr;
        SetEvent(m_go.Get());
        WaitForSingleObject(m_thread.Get(), INFINITE);
    }
}

DWORD WINAPI ReadyThread::Start(void* self) {
    ReadyThread& thread = *static_cast<ReadyThread*>(self);
    // Memory for the runtime's state of this thread, asked for first: where
    // there is none, the runtime would end the program.
    void* room = std::malloc(16384);
    if (room != nullptr) {
        std::free(room);
        thread.m_ready = std::uncaught_exceptions() == 0;
    }
    for (SetEvent(thread.m_done.Get());
         WaitForSingleObject(thread.m_go.Get(), INFINITE) == WAIT_OBJECT_0 && thread.m_work;
         SetEvent(thread.m_done.Get())) {
        try {
            thread.m_work(thread.m_context);
        } catch (const std::bad_alloc&) {
            thread.m_outOfMemory = true;
        }
    }
    return 0;
}

bool ReadyThread::Run(Work work, void* context) {
    if (!m_ready) {
        return false;
    }
    m_work = work;
    m_context = context;
    m_outOfMemory = false;
    SetEvent(m_go.Get());
    const HANDLE ends[] = {m_done.Get(), m_thread.Get()};
    return WaitForMultipleObjects(2, ends, FALSE, INFINITE) == WAIT_OBJECT_0 && !m_outOfMemory;
}

} // namespace kestrel
