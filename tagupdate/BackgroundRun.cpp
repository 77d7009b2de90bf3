// The background road and its completion watcher.
//
// The running marker (module state) is set on the editor's thread before the
// watcher starts, and cleared by the watcher only after the editor's thread
// has handled the completion text, so no new run can start before the user
// has seen how the last one ended. The marker is shared by two threads, so
// every access to it is atomic.
//
// The editor may unload the library while ctags still runs. The watcher
// therefore holds a reference to the library of its own, taken before it
// starts and given back with its last instruction: FreeLibraryAndExitThread
// drops it and ends the thread without returning into code that may be gone.
// Without that reference no watcher starts.
#include "tagupdate/BackgroundRun.h"

#include <process.h>

#include <memory>
#include <new>

#include "plugin/ModuleState.h"
#include "plugin/UniqueAny.h"
#include "resources/resource.h"
#include "tagupdate/StatusText.h"

namespace kestrel {
namespace {

// How long the watcher waits for readers of the tags file to let go.
constexpr DWORD kReplacePatienceMs = 10000;

// What the watcher owns: the run and its reference to this library.
struct WatchedRun {
    CtagsRun run;
    UniqueModule library;
};

UniqueModule ReferenceThisLibrary() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(&CompletionWatcher), &module)) {
        module = nullptr;
    }
    return UniqueModule(module);
}

void ReportCompletion(CtagsRun& run) {
    const bool succeeded = FinishRun(run, kReplacePatienceMs);
    // The watcher names ctags by this literal, never by the command line,
    // which belonged to the command that has long returned.
    CountedString text;
    FormatEnd(text, succeeded, "ctags");
    SendStatusText(RunningMarker(), text);
}

} // namespace

CountedString RunInBackground(const CtagsCommand& command, DWORD creationFlags, HWND hwnd) {
    CountedString status;
    // Made before ctags starts, so that no allocation stands between a
    // started ctags and its watcher.
    auto watched = std::make_unique<WatchedRun>();
    if (!StartRun(command, creationFlags | IDLE_PRIORITY_CLASS, watched->run, status)) {
        return status;
    }
    SetRunningMarker(hwnd);
    watched->library = ReferenceThisLibrary();
    unsigned threadId = 0;
    const UniqueHandle watcher(
        watched->library ? reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, CompletionWatcher,
                                                                   watched.get(), 0, &threadId))
                         : nullptr);
    if (watcher) {
        watched.release(); // the watcher owns it now
    } else {
        // ctags goes on unwatched; the next command must not be refused.
        ClearRunningMarker();
        watched.reset();
    }
    FormatResource(status, IDS_RUNNING, command.shown.Chars());
    return status;
}

unsigned WINAPI CompletionWatcher(void* watchedRun) {
    std::unique_ptr<WatchedRun> watched(static_cast<WatchedRun*>(watchedRun));
    SetWatcherProcess(watched->run.process.Get());
    try {
        ReportCompletion(watched->run); // every string released here
    } catch (const std::bad_alloc&) {
        // No memory for the completion text: the run still ends, and the
        // next command must not be refused.
    }
    ClearRunningMarker();
    ClearWatcherProcess();
    const HMODULE library = watched->library.Release();
    watched.reset();
    FreeLibraryAndExitThread(library, 0);
    return 0;
}

} // namespace kestrel
