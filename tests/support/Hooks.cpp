#include "tests/support/Hooks.h"

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <utility>

#include "host/ImportPatch.h"
#include "tagupdate/BackgroundRun.h"
#include "tests/support/EventLog.h"

namespace kestrel::test {
namespace {

using Lock = std::lock_guard<std::mutex>;

std::mutex g_mutex; // guards what follows up to the switches
std::vector<ProcessStart> g_starts;
std::vector<std::string> g_lookups;
std::vector<BrowserSetup> g_browsers;
bool g_recordLookups = false;
std::string g_failingLookup;
DWORD g_lookupError = 0;
std::string g_markedLookup;
DWORD g_addedAttributes = 0;
std::string g_programPath;
std::function<void()> g_afterFailedMove;
int g_failedMoves = 0;

std::vector<HANDLE> g_watchers; // duplicated handles of those not known to have ended

std::atomic<bool> g_failing[5] = {}; // by Calls

// The real functions, as the imports held them before.
decltype(&CreateProcessA) g_createProcess = nullptr;
decltype(&GetFileAttributesA) g_fileAttributes = nullptr;
decltype(&SHBrowseForFolderA) g_browse = nullptr;
decltype(&GetExitCodeProcess) g_exitCode = nullptr;
decltype(&MoveFileExA) g_move = nullptr;
decltype(&GetModuleHandleExA) g_module = nullptr;
decltype(&CreateThread) g_createThread = nullptr;
decltype(&ResumeThread) g_resumeThread = nullptr;
decltype(&GetModuleFileNameA) g_moduleFileName = nullptr;

} // namespace

BOOL WINAPI StartProcessSteadily(LPCSTR application, LPSTR commandLine,
                                 LPSECURITY_ATTRIBUTES processAttributes,
                                 LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags,
                                 LPVOID environment, LPCSTR directory, LPSTARTUPINFOA startup,
                                 LPPROCESS_INFORMATION information) {
    // Not through this program's import, which leads back here.
    static const auto real = reinterpret_cast<decltype(&CreateProcessA)>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateProcessA")));
    for (int attempt = 1;; ++attempt) {
        if (real(application, commandLine, processAttributes, threadAttributes, inherit, flags,
                 environment, directory, startup, information)) {
            return TRUE;
        }
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3) {
            return FALSE;
        }
        std::fprintf(stderr, "note: Wine failed a process start with ERROR_INTERNAL_ERROR; "
                             "starting it again\n");
    }
}

bool SteadyProcessStarts(HMODULE module) {
    return PatchImport(module, "kernel32.dll", "CreateProcessA",
                       reinterpret_cast<void*>(&StartProcessSteadily)) != nullptr;
}

namespace {

BOOL WINAPI HookedBeep(UINT type) {
    RecordEvent(Event::Beep, std::to_string(type));
    return TRUE;
}

BOOL WINAPI HookedCreateProcess(LPCSTR application, LPSTR commandLine,
                                LPSECURITY_ATTRIBUTES processAttributes,
                                LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags,
                                LPVOID environment, LPCSTR directory, LPSTARTUPINFOA startup,
                                LPPROCESS_INFORMATION information) {
    {
        Lock lock(g_mutex);
        // SuspendThread tells how often the thread was suspended already.
        HANDLE watcher = g_watchers.empty() ? nullptr : g_watchers.back();
        const DWORD count = watcher ? SuspendThread(watcher) : static_cast<DWORD>(-1);
        if (count != static_cast<DWORD>(-1)) {
            g_resumeThread(watcher);
        }
        g_starts.push_back({flags, startup ? startup->cb : 0, inherit, application == nullptr,
                            environment == nullptr, count != static_cast<DWORD>(-1) && count > 0});
    }
    return StartProcessSteadily(application, commandLine, processAttributes, threadAttributes,
                                inherit, flags, environment, directory, startup, information);
}

DWORD WINAPI HookedFileAttributes(LPCSTR path) {
    DWORD added = 0;
    {
        Lock lock(g_mutex);
        if (g_recordLookups) {
            g_lookups.push_back(path ? path : "");
        }
        if (path != nullptr && !g_failingLookup.empty() && g_failingLookup == path) {
            SetLastError(g_lookupError);
            return INVALID_FILE_ATTRIBUTES;
        }
        added = path != nullptr && g_markedLookup == path ? g_addedAttributes : 0;
    }
    const DWORD attributes = g_fileAttributes(path);
    return attributes == INVALID_FILE_ATTRIBUTES ? attributes : attributes | added;
}

PIDLIST_ABSOLUTE WINAPI HookedBrowse(LPBROWSEINFOA info) {
    {
        Lock lock(g_mutex);
        g_browsers.push_back(
            {info->hwndOwner, info->pidlRoot == nullptr, info->ulFlags,
             info->lpszTitle ? info->lpszTitle : "(null)", reinterpret_cast<void*>(info->lpfn),
             info->lParam ? reinterpret_cast<const char*>(info->lParam) : "(null)"});
    }
    return g_browse(info);
}

BOOL WINAPI HookedExitCode(HANDLE process, LPDWORD code) {
    if (g_failing[static_cast<int>(Calls::ExitCodeQueries)]) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return g_exitCode(process, code);
}

BOOL WINAPI HookedMove(LPCSTR from, LPCSTR to, DWORD flags) {
    const BOOL moved = g_move(from, to, flags);
    if (!moved) {
        const DWORD error = GetLastError();
        std::function<void()> action;
        {
            Lock lock(g_mutex);
            ++g_failedMoves;
            action = g_afterFailedMove;
        }
        if (action) {
            action();
        }
        SetLastError(error);
    }
    return moved;
}

BOOL WINAPI HookedModule(DWORD flags, LPCSTR name, HMODULE* module) {
    if (g_failing[static_cast<int>(Calls::ModuleReferences)]) {
        *module = nullptr;
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    return g_module(flags, name, module);
}

HANDLE WINAPI HookedCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                                 LPTHREAD_START_ROUTINE start, LPVOID argument, DWORD flags,
                                 LPDWORD id) {
    if (g_failing[static_cast<int>(Calls::ThreadStarts)]) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const HANDLE thread = g_createThread(security, stack, start, argument, flags, id);
    HANDLE copy = nullptr;
    if (start == &CompletionWatcher && // not GoogleTest's own threads
        DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS)) {
        Lock lock(g_mutex);
        g_watchers.push_back(copy);
    }
    return thread;
}

DWORD WINAPI HookedResumeThread(HANDLE thread) {
    if (g_failing[static_cast<int>(Calls::FailedResumes)]) {
        SetLastError(ERROR_ACCESS_DENIED);
        return static_cast<DWORD>(-1);
    }
    const DWORD suspended = g_resumeThread(thread);
    while (g_failing[static_cast<int>(Calls::ThreadResumes)] &&
           MsgWaitForMultipleObjects(1, &thread, FALSE, 10000, QS_SENDMESSAGE) ==
               WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return suspended;
}

DWORD WINAPI HookedModuleFileName(HMODULE module, LPSTR buffer, DWORD size) {
    Lock lock(g_mutex);
    if (module != nullptr || g_programPath.empty() || size <= g_programPath.size()) {
        return g_moduleFileName(module, buffer, size);
    }
    lstrcpynA(buffer, g_programPath.c_str(), static_cast<int>(size));
    return static_cast<DWORD>(g_programPath.size());
}

template <typename Function>
bool Patch(const char* dll, const char* name, Function hook, Function& original) {
    return RedirectImport(GetModuleHandleA(nullptr), dll, name, hook, original);
}

} // namespace

bool InstallHooks() {
    static const bool installed = [] {
        decltype(&MessageBeep) realBeep = nullptr;
        bool all = Patch("user32.dll", "MessageBeep", &HookedBeep, realBeep);
        all &= Patch("kernel32.dll", "CreateProcessA", &HookedCreateProcess, g_createProcess);
        all &= Patch("kernel32.dll", "GetFileAttributesA", &HookedFileAttributes, g_fileAttributes);
        all &= Patch("kernel32.dll", "GetExitCodeProcess", &HookedExitCode, g_exitCode);
        all &= Patch("kernel32.dll", "MoveFileExA", &HookedMove, g_move);
        all &= Patch("kernel32.dll", "GetModuleHandleExA", &HookedModule, g_module);
        all &= Patch("kernel32.dll", "CreateThread", &HookedCreateThread, g_createThread);
        all &= Patch("kernel32.dll", "ResumeThread", &HookedResumeThread, g_resumeThread);
        all &= Patch("kernel32.dll", "GetModuleFileNameA", &HookedModuleFileName, g_moduleFileName);
        // Only the command tests' programs show the browser.
        Patch("shell32.dll", "SHBrowseForFolderA", &HookedBrowse, g_browse);
        return all;
    }();
    return installed;
}

std::vector<ProcessStart> ProcessStarts() {
    Lock lock(g_mutex);
    return g_starts;
}

std::vector<BrowserSetup> BrowserSetups() {
    Lock lock(g_mutex);
    return g_browsers;
}

void ClearProcessStarts() {
    Lock lock(g_mutex);
    g_starts.clear();
}

bool WatcherRuns() {
    Lock lock(g_mutex);
    // Those that have ended are forgotten.
    const auto ended = [](HANDLE watcher) {
        return WaitForSingleObject(watcher, 0) != WAIT_TIMEOUT && CloseHandle(watcher);
    };
    g_watchers.erase(std::remove_if(g_watchers.begin(), g_watchers.end(), ended), g_watchers.end());
    return !g_watchers.empty();
}

void RecordFileLookups(bool on) {
    Lock lock(g_mutex);
    g_recordLookups = on;
    g_lookups.clear();
}

std::vector<std::string> FileLookups() {
    Lock lock(g_mutex);
    return g_lookups;
}

void FailFileLookup(const std::string& path, DWORD error) {
    Lock lock(g_mutex);
    g_failingLookup = path;
    g_lookupError = error;
}

void AddFileAttributes(const std::string& path, DWORD attributes) {
    Lock lock(g_mutex);
    g_markedLookup = path;
    g_addedAttributes = attributes;
}

void PlaceProgramAt(const std::string& path) {
    Lock lock(g_mutex);
    g_programPath = path;
}

int OnFailedMove(std::function<void()> action) {
    Lock lock(g_mutex);
    g_afterFailedMove = std::move(action);
    const int failed = g_failedMoves;
    g_failedMoves = 0;
    return failed;
}

FailingCalls::FailingCalls(Calls calls) : m_calls(calls) {
    g_failing[static_cast<int>(calls)] = true;
}

FailingCalls::~FailingCalls() {
    g_failing[static_cast<int>(m_calls)] = false;
}

} // namespace kestrel::test
