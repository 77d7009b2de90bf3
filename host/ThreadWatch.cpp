#include "host/ThreadWatch.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "host/ImportPatch.h"

namespace kestrel::host {

namespace {

using CreateThreadFn = decltype(&CreateThread);

// Written once, before the plug-in can start a thread.
CreateThreadFn g_realCreateThread = nullptr;
std::atomic<long> g_started{0};
std::mutex g_mutex;
std::vector<HANDLE> g_threads; // every thread started, to tell which still run

HANDLE WINAPI CountedCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                                  LPTHREAD_START_ROUTINE start, LPVOID argument, DWORD flags,
                                  LPDWORD id) {
    HANDLE thread = g_realCreateThread(security, stack, start, argument, flags, id);
    if (thread != nullptr) {
        // Null where no handle could be kept: that thread counts as running.
        HANDLE kept = nullptr;
        DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &kept, SYNCHRONIZE, FALSE,
                        0);
        const std::lock_guard<std::mutex> lock(g_mutex);
        g_threads.push_back(kept);
        ++g_started;
    }
    return thread;
}

} // namespace

bool WatchThreadStarts(HMODULE plugIn) {
    return RedirectImport(plugIn, "kernel32.dll", "CreateThread", &CountedCreateThread,
                          g_realCreateThread);
}

long ThreadsStarted() {
    return g_started;
}

bool ThreadsStartedSinceRun(long since) {
    const std::lock_guard<std::mutex> lock(g_mutex);
    for (size_t i = static_cast<size_t>(since); i < g_threads.size(); ++i) {
        if (g_threads[i] == nullptr || WaitForSingleObject(g_threads[i], 0) == WAIT_TIMEOUT) {
            return true;
        }
    }
    return false;
}

} // namespace kestrel::host
