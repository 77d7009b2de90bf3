#include "host/ThreadWatch.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "host/ImportPatch.h"

namespace kestrel::host {

namespace {

using CreateThreadFn = decltype(&CreateThread);

// Written once, before the plug-in can start a thread.
CreateThreadFn g_realCreateThread = nullptr;
std::mutex g_mutex;
std::vector<HANDLE> g_threads; // copies of the handles of those not known to have ended

HANDLE WINAPI CountedCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                                  LPTHREAD_START_ROUTINE start, LPVOID argument, DWORD flags,
                                  LPDWORD id) {
    HANDLE thread = g_realCreateThread(security, stack, start, argument, flags, id);
    HANDLE copy = nullptr;
    if (thread != nullptr && DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(),
                                             &copy, SYNCHRONIZE, FALSE, 0)) {
        const std::lock_guard<std::mutex> lock(g_mutex);
        g_threads.push_back(copy);
    }
    return thread;
}

} // namespace

bool WatchThreadStarts(HMODULE plugIn) {
    return RedirectImport(plugIn, "kernel32.dll", "CreateThread", &CountedCreateThread,
                          g_realCreateThread);
}

bool ThreadsRunning() {
    const std::lock_guard<std::mutex> lock(g_mutex);
    const auto ended = [](HANDLE thread) {
        return WaitForSingleObject(thread, 0) != WAIT_TIMEOUT && CloseHandle(thread);
    };
    g_threads.erase(std::remove_if(g_threads.begin(), g_threads.end(), ended), g_threads.end());
    return !g_threads.empty();
}

} // namespace kestrel::host
