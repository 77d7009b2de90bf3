// The background road and its completion watcher.
//
// The running marker (module state) is set on the editor's thread before the
// watcher starts, and cleared by the watcher only after the editor's thread
// has handled the completion text, so no new run can start before the user
// has seen how the last one ended. The marker is shared by two threads, so
// every access to it is atomic.
//
// The watcher allocates nothing and throws nothing: an editor near the end
// of its memory still hears how the run ended, and the marker is still
// cleared. Everything it needs, the closing texts included, is made on the
// editor's thread before ctags starts, and handed over in one WatchedRun.
//
// The editor may unload the library while ctags still runs. The watcher
// therefore holds a reference to the library of its own, taken before it
// starts and given back with its last instruction: FreeLibraryAndExitThread
// drops it and ends the thread without returning into code that may be gone.
// The thread is started with CreateThread, so no runtime takes a reference
// of its own that only a return from the thread function would give back.
//
// The watcher exists, suspended, before ctags starts: once ctags runs,
// nothing is left that could fail and leave it unwatched, its output never
// moved into place and its lock let go while it still writes. Without the
// reference or the thread, ctags does not start. A watcher whose run did not
// start ends at once, giving back what it holds.
#include "tagupdate/BackgroundRun.h"

#include <memory>

#include "plugin/LibraryHold.h"
#include "plugin/ModuleState.h"
#include "plugin/UniqueAny.h"
#include "resources/resource.h"
#include "tagupdate/StatusText.h"

namespace kestrel {
namespace {

// How long the watcher waits for readers of the tags file to let go.
constexpr DWORD kReplacePatienceMs = 10000;

// What the watcher owns: the run, its closing texts and its reference to
// this library.
struct WatchedRun {
    CtagsRun run;
    EndTexts end;
    UniqueModule library;
};

} // namespace

CountedString RunInBackground(const CtagsCommand& command, DWORD creationFlags, HWND hwnd) {
    CountedString status;
    // Made before ctags starts, so that no allocation stands between a
    // started ctags and its watcher. The watcher names ctags by a literal,
    // never by the command line, which belongs to the command.
    auto watched = std::make_unique<WatchedRun>();
    watched->end = FormatEndTexts("ctags");
    FormatResource(status, IDS_RUNNING, command.shown.Chars());
    if (!PrepareRun(command, watched->run, status)) {
        return status;
    }
    watched->library = ReferenceThisLibrary();
    DWORD threadId = 0;
    const UniqueHandle watcher(watched->library
                                   ? CreateThread(nullptr, 0, CompletionWatcher, watched.get(),
                                                  CREATE_SUSPENDED, &threadId)
                                   : nullptr);
    if (!watcher) {
        FormatResource(status, IDS_COULD_NOT_RUN, command.shown.Chars());
        return status; // the lock goes with `watched`
    }
    // The watcher owns the run from here on, and runs however this ends.
    WatchedRun& run = *watched.release();
    struct Resume {
        HANDLE thread;
        ~Resume() { ResumeThread(thread); }
    } resume{watcher.Get()};
    if (LaunchRun(command, creationFlags | IDLE_PRIORITY_CLASS, run.run, status)) {
        SetRunningMarker(hwnd); // before the watcher can clear it
    }
    return status;
}

DWORD WINAPI CompletionWatcher(void* watchedRun) {
    std::unique_ptr<WatchedRun> watched(static_cast<WatchedRun*>(watchedRun));
    if (watched->run.process) {
        SetWatcherProcess(watched->run.process.Get());
        // The job and the free space, off the editor's thread.
        ResumeRun(watched->run);
        const RunEnd end = FinishRun(watched->run, kReplacePatienceMs, kPlainWaits);
        SendStatusText(RunningMarker(), EndText(watched->end, end));
        ClearRunningMarker();
        ClearWatcherProcess();
    }
    const HMODULE library = watched->library.Release();
    watched.reset();
    FreeLibraryAndExitThread(library, 0);
    return 0;
}

} // namespace kestrel
