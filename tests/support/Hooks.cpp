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
std::string g_failingCreation;
DWORD g_creationError = 0;
std::string g_markedLookup;
DWORD g_addedAttributes = 0;
std::string g_programPath;
std::function<void()> g_afterFailedMove;
int g_failedMoves = 0;
std::function<void()> g_onSleep;
std::function<void()> g_onExitCode;

std::vector<HANDLE> g_watchers; // duplicated handles of those not known to have ended

std::atomic<bool> g_failing[5] = {}; // by Calls

// The real functions, as the imports held them before.
decltype(&CreateProcessA) g_createProcess = nullptr;
decltype(&GetFileAttributesA) g_fileAttributes = nullptr;
decltype(&SHBrowseForFolderA) g_browse = nullptr;
decltype(&GetExitCodeProcess) g_exitCode = nullptr;
decltype(&SetFileInformationByHandle) g_setFileInformation = nullptr;
decltype(&CreateFileA) g_createFile = nullptr;
decltype(&GetModuleHandleExA) g_module = nullptr;
decltype(&CreateThread) g_createThread = nullptr;
decltype(&ResumeThread) g_resumeThread = nullptr;
decltype(&PeekMessageA) g_peek = nullptr;
decltype(&MsgWaitForMultipleObjects) g_msgWait = nullptr;

// Queue reads of the recording thread: the last one and the longest gap.
std::atomic<DWORD> g_readingThread{0};
ULONGLONG g_lastRead = 0, g_longestGap = 0;
std::atomic<int> g_queueWaits{0}, g_quitToHand{0};
std::atomic<bool> g_noTimeOut{false};
// Free space answers: the first read's and every later one's.
std::atomic<ULONGLONG> g_freeAtStart{0}, g_freeLater{0};
std::atomic<int> g_freeReads{0};
decltype(&GetDiskFreeSpaceExW) g_freeSpace = nullptr;
decltype(&Sleep) g_sleep = nullptr;
decltype(&GetModuleFileNameA) g_moduleFileName = nullptr;

} // namespace

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
        // A watcher that starts a process itself is not suspended to look.
        HANDLE watcher =
            g_watchers.empty() || GetThreadId(g_watchers.back()) == GetCurrentThreadId()
                ? nullptr
                : g_watchers.back();
        const DWORD count = watcher ? SuspendThread(watcher) : static_cast<DWORD>(-1);
        if (count != static_cast<DWORD>(-1)) {
            g_resumeThread(watcher);
        }
        g_starts.push_back({flags, startup ? startup->cb : 0, inherit, application == nullptr,
                            environment == nullptr, count != static_cast<DWORD>(-1) && count > 0,
                            commandLine ? commandLine : ""});
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

HANDLE WINAPI HookedCreateFile(LPCSTR path, DWORD access, DWORD sharing,
                               LPSECURITY_ATTRIBUTES attributes, DWORD disposition, DWORD flags,
                               HANDLE model) {
    {
        Lock lock(g_mutex);
        if (disposition == OPEN_EXISTING && path != nullptr && g_failingLookup == path) {
            SetLastError(g_lookupError);
            return INVALID_HANDLE_VALUE;
        }
        if (disposition == CREATE_NEW && path != nullptr && g_failingCreation == path) {
            SetLastError(g_creationError);
            return INVALID_HANDLE_VALUE;
        }
    }
    return g_createFile(path, access, sharing, attributes, disposition, flags, model);
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
    if (g_onExitCode) {
        g_onExitCode();
    }
    if (g_failing[static_cast<int>(Calls::ExitCodeQueries)]) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return g_exitCode(process, code);
}

BOOL WINAPI HookedSetFileInformation(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind,
                                     LPVOID information, DWORD size) {
    const BOOL moved = g_setFileInformation(file, kind, information, size);
    if (!moved && kind == FileRenameInfo) {
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
    // As long as the thread takes on a busy machine, short of a hang.
    while (g_failing[static_cast<int>(Calls::ThreadResumes)] &&
           MsgWaitForMultipleObjects(1, &thread, FALSE, 50000, QS_SENDMESSAGE) ==
               WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return suspended;
}

// `covered`: the time since the last read was spent waiting for input.
void NoteQueueRead(bool covered = false) {
    if (g_readingThread == GetCurrentThreadId()) {
        const ULONGLONG now = GetTickCount64();
        g_longestGap = covered ? g_longestGap : std::max(g_longestGap, now - g_lastRead);
        g_lastRead = now;
    }
}

BOOL WINAPI HookedPeek(LPMSG message, HWND window, UINT first, UINT last, UINT flags) {
    NoteQueueRead();
    if (const int code = (flags & PM_REMOVE) != 0 ? g_quitToHand.exchange(0) : 0) {
        *message = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(code), 0, 0, {}};
        return TRUE;
    }
    return g_peek(message, window, first, last, flags);
}

DWORD WINAPI HookedMsgWait(DWORD count, const HANDLE* handles, BOOL all, DWORD ms, DWORD mask) {
    ++g_queueWaits;
    const bool input = (mask & QS_INPUT) != 0;
    if (input) {
        NoteQueueRead();
    }
    // Under Wine a paint invalidated from another thread comes with a sent
    // message of Wine's own; on Windows it comes alone, and wakes only a wait
    // for paints.
    const bool alone = g_noTimeOut && (mask & QS_PAINT) == 0;
    const DWORD woken =
        g_msgWait(count, handles, all, g_noTimeOut ? INFINITE : ms, alone ? 0 : mask);
    if (input) {
        NoteQueueRead(true);
    }
    return woken;
}

BOOL WINAPI HookedFreeSpace(LPCWSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total,
                            PULARGE_INTEGER free) {
    if (g_freeAtStart == 0) {
        return g_freeSpace(folder, available, total, free);
    }
    const ULONGLONG answer = g_freeReads++ == 0 ? g_freeAtStart : g_freeLater;
    if (answer == kUnreadable) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    available->QuadPart = answer; // what the plug-in asks for
    return TRUE;
}

void WINAPI HookedSleep(DWORD ms) {
    if (g_onSleep) { // set only while no other thread runs the plug-in's code
        g_onSleep();
    }
    g_sleep(ms);
}

DWORD WINAPI HookedModuleFileName(HMODULE module, LPSTR buffer, DWORD size) {
    Lock lock(g_mutex);
    if (module != nullptr || g_programPath.empty() || size <= g_programPath.size()) {
        return g_moduleFileName(module, buffer, size);
    }
    lstrcpynA(buffer, g_programPath.c_str(), static_cast<int>(size));
    return static_cast<DWORD>(g_programPath.size());
}

// A found entry of this name shows as a link (a reparse point), as Wine
// never shows one.
std::wstring g_linkName;
decltype(&FindFirstFileExW) g_findFirst = nullptr;
decltype(&FindNextFileW) g_findNext = nullptr;

void MarkFound(void* data) {
    auto* found = static_cast<WIN32_FIND_DATAW*>(data);
    Lock lock(g_mutex);
    if (!g_linkName.empty() && g_linkName == found->cFileName) {
        found->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    }
}

HANDLE WINAPI HookedFindFirst(LPCWSTR name, FINDEX_INFO_LEVELS level, LPVOID data,
                              FINDEX_SEARCH_OPS search, LPVOID filter, DWORD flags) {
    const HANDLE find = g_findFirst(name, level, data, search, filter, flags);
    if (find != INVALID_HANDLE_VALUE) {
        MarkFound(data);
    }
    return find;
}

BOOL WINAPI HookedFindNext(HANDLE find, LPWIN32_FIND_DATAW data) {
    const BOOL found = g_findNext(find, data);
    if (found) {
        MarkFound(data);
    }
    return found;
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
        all &= Patch("kernel32.dll", "SetFileInformationByHandle", &HookedSetFileInformation,
                     g_setFileInformation);
        all &= Patch("kernel32.dll", "CreateFileA", &HookedCreateFile, g_createFile);
        all &= Patch("kernel32.dll", "GetModuleHandleExA", &HookedModule, g_module);
        all &= Patch("kernel32.dll", "CreateThread", &HookedCreateThread, g_createThread);
        all &= Patch("kernel32.dll", "ResumeThread", &HookedResumeThread, g_resumeThread);
        all &= Patch("user32.dll", "PeekMessageA", &HookedPeek, g_peek);
        all &= Patch("kernel32.dll", "GetDiskFreeSpaceExW", &HookedFreeSpace, g_freeSpace);
        all &= Patch("user32.dll", "MsgWaitForMultipleObjects", &HookedMsgWait, g_msgWait);
        all &= Patch("kernel32.dll", "Sleep", &HookedSleep, g_sleep);
        all &= Patch("kernel32.dll", "GetModuleFileNameA", &HookedModuleFileName, g_moduleFileName);
        all &= Patch("kernel32.dll", "FindFirstFileExW", &HookedFindFirst, g_findFirst);
        all &= Patch("kernel32.dll", "FindNextFileW", &HookedFindNext, g_findNext);
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

void FailFileCreation(const std::string& path, DWORD error) {
    Lock lock(g_mutex);
    g_failingCreation = path;
    g_creationError = error;
}

void ShowAsLink(const std::wstring& name) {
    Lock lock(g_mutex);
    g_linkName = name;
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

DWORD RecordQueueReads(bool on) {
    NoteQueueRead(); // the stretch up to now counts
    g_readingThread = on ? GetCurrentThreadId() : 0;
    g_lastRead = GetTickCount64();
    const DWORD longest = static_cast<DWORD>(g_longestGap);
    g_longestGap = 0;
    return longest;
}

int QueueWaits() {
    return g_queueWaits;
}

void WaitWithoutTimeOut(bool on) {
    g_noTimeOut = on;
}

void FakeFreeSpace(ULONGLONG atStart, ULONGLONG later) {
    g_freeReads = 0;
    g_freeLater = later;
    g_freeAtStart = atStart;
}

void HandBackQuit(int quitCode) {
    g_quitToHand = quitCode;
}

void OnSleep(std::function<void()> action) {
    g_onSleep = std::move(action);
}

void OnExitCodeQuery(std::function<void()> action) {
    g_onExitCode = std::move(action);
}

FailingCalls::FailingCalls(Calls calls) : m_calls(calls) {
    g_failing[static_cast<int>(calls)] = true;
}

FailingCalls::~FailingCalls() {
    g_failing[static_cast<int>(m_calls)] = false;
}

} // namespace kestrel::test
