#include "tagupdate/WorkOffThread.h"

#include <new>

#include "plugin/UniqueAny.h"

namespace kestrel {
namespace {

struct Job {
    Work work;
    void* context;
    bool outOfMemory;
};

DWORD WINAPI Worker(void* job) {
    Job& it = *static_cast<Job*>(job);
    try {
        it.work(it.context);
    } catch (const std::bad_alloc&) {
        it.outOfMemory = true;
    }
    return 0;
}

} // namespace

bool DoWork(Work work, void* context, bool (*wait)(HANDLE thread)) {
    if (wait == nullptr) {
        work(context);
        return true;
    }
    Job job = {work, context, false};
    DWORD threadId = 0;
    const UniqueHandle thread(CreateThread(nullptr, 0, Worker, &job, 0, &threadId));
    if (!thread) {
        return false;
    }
    // The job lives on this stack: a wait that ends early (no wait was
    // possible) is followed by one that ends only with the thread.
    wait(thread.Get());
    WaitForSingleObject(thread.Get(), INFINITE);
    if (job.outOfMemory) {
        throw std::bad_alloc();
    }
    return true;
}

} // namespace kestrel
