#include "host/ThreadWatch.h"

#include <atomic>

#include "host/ImportPatch.h"

namespace kestrel::host {

namespace {

using CreateThreadFn = decltype(&CreateThread);

// Written once, before the plug-in can start a thread.
CreateThreadFn g_realCreateThread = nullptr;
std::atomic<long> g_started{0};

HANDLE WINAPI CountedCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                                  LPTHREAD_START_ROUTINE start, LPVOID argument, DWORD flags,
                                  LPDWORD id) {
    HANDLE thread = g_realCreateThread(security, stack, start, argument, flags, id);
    if (thread != nullptr) {
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

} // namespace kestrel::host
