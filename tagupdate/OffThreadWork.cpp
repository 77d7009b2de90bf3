#include "tagupdate/OffThreadWork.h"

#include <new>

#include "tagupdate/WaitServingMessages.h"

namespace kestrel {

OffThreadWork::OffThreadWork(Work work, void* context)
    : m_work(work), m_context(context),
      m_thread(CreateThread(nullptr, 0, Start, this, CREATE_SUSPENDED, nullptr)) {
}

OffThreadWork::~OffThreadWork() {
    if (m_thread && !m_letGo) {
        if (ResumeThread(m_thread.Get()) == static_cast<DWORD>(-1)) {
            TerminateThread(m_thread.Get(), 0); // it has run no code yet
        }
        WaitForSingleObject(m_thread.Get(), INFINITE);
    }
}

DWORD WINAPI OffThreadWork::Start(void* self) {
    OffThreadWork& run = *static_cast<OffThreadWork*>(self);
    if (run.m_letGo) {
        try {
            run.m_work(run.m_context);
        } catch (const std::bad_alloc&) {
            run.m_outOfMemory = true;
        }
    }
    return 0;
}

void OffThreadWork::Run() {
    m_letGo = static_cast<bool>(m_thread);
    if (m_letGo && ResumeThread(m_thread.Get()) == static_cast<DWORD>(-1)) {
        m_letGo = false;
    }
    if (!m_letGo) {
        m_work(m_context);
        return;
    }
    WaitServingMessages(m_thread.Get());
    if (m_outOfMemory) {
        throw std::bad_alloc();
    }
}

void RunServingMessages(Work work, void* context) {
    OffThreadWork(work, context).Run();
}

} // namespace kestrel
