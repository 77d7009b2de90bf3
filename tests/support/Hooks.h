// The test program's own imports, redirected so that tests see what the
// plug-in's code (linked into the program) asks of Windows: beeps, the
// processes it starts, the files it looks for, the threads it starts.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "host/SteadyStarts.h"

namespace kestrel::test {

struct ProcessStart {
    DWORD creationFlags;
    DWORD startupSize;
    BOOL inheritHandles;
    bool applicationNameNull;
    bool environmentNull;
    // The completion watcher started last was there, and suspended.
    bool afterSuspendedWatcher;
    std::string commandLine;
};

// What the plug-in asked of the folder browser, in the system code page.
struct BrowserSetup {
    HWND owner;
    bool rootNull;
    UINT flags;
    std::string title;
    void* callback;
    std::string initial; // the text given to the callback; "(null)" for none
};

// Installs every hook once; beeps go to the event log. False when one of the
// imports was not found, so nothing would be seen.
bool InstallHooks();

std::vector<ProcessStart> ProcessStarts();
// Every folder browser opened since the program started, in order.
std::vector<BrowserSetup> BrowserSetups();
void ClearProcessStarts();
// Whether a completion watcher still runs, or waits to run.
bool WatcherRuns();

// Every path given to GetFileAttributesA while recording is on.
void RecordFileLookups(bool on);
std::vector<std::string> FileLookups();

// Makes GetFileAttributesA, and CreateFileA opening an existing file, fail
// on `path` with `error`, as Windows shows a file marked for removal; an
// empty path ends it.
void FailFileLookup(const std::string& path, DWORD error);
// Makes CreateFileA making a new `path` fail with `error`; an empty path
// ends it.
void FailFileCreation(const std::string& path, DWORD error);
// Makes GetFileAttributesA add `attributes` for an existing `path`, as for a
// link Wine cannot make; an empty path ends it.
void AddFileAttributes(const std::string& path, DWORD attributes);

// Makes the entries of that name that FindFirstFileExW and FindNextFileW
// find show as links (reparse points), as Wine shows none; empty ends it.
void ShowAsLink(const std::wstring& name);

// Makes GetModuleFileNameA report `path` for the program itself, as for an
// editor installed there; an empty path ends it.
void PlaceProgramAt(const std::string& path);

// Calls that fail while a FailingCalls of their kind lives: thread starts
// through CreateThread, GetModuleHandleExA (no module reference can be
// taken), GetExitCodeProcess (as for a process whose code cannot be read)
// and ResumeThread (FailedResumes: the thread stays suspended). With
// ThreadResumes, ResumeThread does not fail: it returns only once the thread
// has ended, serving the messages it sends, as a thread that ends at once
// would.
enum class Calls { ThreadStarts, ModuleReferences, ExitCodeQueries, ThreadResumes, FailedResumes };
class FailingCalls {
public:
    explicit FailingCalls(Calls calls);
    ~FailingCalls();
    FailingCalls(const FailingCalls&) = delete;
    FailingCalls& operator=(const FailingCalls&) = delete;

private:
    Calls m_calls;
};

// Records the queue reads of this thread (PeekMessageA calls, and waits
// with input in their wake mask for their whole length) until turned off,
// which returns the longest stretch in milliseconds without one.
DWORD RecordQueueReads(bool on);
// Waits on the queue so far, on any thread.
int QueueWaits();
// While on, MsgWaitForMultipleObjects waits without its time-out, and only
// a wait for paints is woken by a paint from another thread (it comes
// alone, as on Windows). The next PeekMessageA that removes takes WM_QUIT
// with `quitCode` (not 0), whatever its filter, as Windows may.
void WaitWithoutTimeOut(bool on);
void HandBackQuit(int quitCode);

// Makes GetDiskFreeSpaceExW answer `atStart` bytes free on its first call and
// `later` on every call after it; kUnreadable fails it. 0 ends it.
constexpr ULONGLONG kUnreadable = ~0ull;
void FakeFreeSpace(ULONGLONG atStart, ULONGLONG later = 0);

// Calls `action` (when set) after each rename through a handle that fails;
// returns how many failed since the last call.
int OnFailedMove(std::function<void()> action);

// Calls `action` (when set) each time the program's code pauses with Sleep,
// before it sleeps.
void OnSleep(std::function<void()> action);

// Calls `action` (when set) before each GetExitCodeProcess: a run's ctags
// has ended, its output is not yet kept. Set it while no run is under way.
void OnExitCodeQuery(std::function<void()> action);

} // namespace kestrel::test
