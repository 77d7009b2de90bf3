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
// The walk, the update and the record, which allocate, run on a thread the
// watcher makes ready for that while ctags is still suspended (ReadyThread),
// so that the command does not wait for it to start; a thread that cannot be
// made, or memory that runs out there, leaves the run on the whole tree.
//
// The editor may unload the library while ctags still runs. The watcher
// therefore holds a reference to the library of its own, taken before it
// starts and given back with its last instruction: FreeLibraryAndExitThread
// drops it and ends the thread without returning into code that may be gone.
// The thread is started with CreateThread, so no runtime takes a reference
// of its own that only a return from the thread function would give back.
//
// The tree is walked before the watcher lets ctags run: where the record of
// the last run shows that ctags need only read what changed, it runs ctags
// on those files and merges, and the ctags launched on the whole tree, never
// let go, is ended; where the update cannot be made, that ctags runs after
// all.
//
// The command returns as soon as ctags is launched, suspended: the watcher
// makes the temporary file ctags writes before it lets ctags run, and a file
// that cannot be made ends the run unlet, as one that could not run.
//
// The watcher exists, suspended, before ctags starts: once ctags runs,
// nothing is left that could fail and leave it unwatched, its output never
// moved into place and its lock let go while it still writes. Without the
// reference or the thread, ctags does not start. A watcher whose run did not
// start ends at once, giving back what it holds. A watcher that cannot be
// resumed once ctags has started watches nothing: ctags is ended, and the
// command shows that it could not run.
#include "tagupdate/BackgroundRun.h"

#include <memory>

#include "plugin/LibraryHold.h"
#include "plugin/ModuleState.h"
#include "plugin/UniqueAny.h"
#include "resources/resource.h"
#include "tagupdate/ReadyThread.h"
#include "tagupdate/StatusText.h"
#include "tagupdate/TreeUpdate.h"

namespace kestrel {
namespace {

// How long the watcher waits for readers of the tags file to let go.
constexpr DWORD kReplacePatienceMs = 10000;

// What the watcher owns: the run, its closing texts and its reference to
// this library.
struct WatchedRun {
    CtagsCommand command;
    DWORD creationFlags;
    TreeUpdate update;
    UpdateEnd updated = UpdateEnd::FullRunNeeded;
    CtagsRun run;
    EndTexts end;
    UniqueModule library;
};

// For a watcher that cannot be resumed: ctags, which would run on unwatched,
// is ended and its output dropped, the marker and the lock are let go, and
// the watcher is ended and its run freed. A watcher that cannot be ended
// keeps its run, with nothing left in it to watch, for the day it runs.
void EndUnwatched(WatchedRun& watched, HANDLE watcher) {
    if (watched.run.process) {
        TerminateProcess(watched.run.process.Get(), ERROR_CANCELLED);
        WaitForSingleObject(watched.run.process.Get(), INFINITE);
        watched.run.process.Reset();
        KeepOutput(watched.run.output, watched.run.temporary, false, 0, kPlainWaits.pause);
        ClearRunningMarker();
    }
    watched.run.lock.Reset();
    if (TerminateThread(watcher, 0) && WaitForSingleObject(watcher, INFINITE) == WAIT_OBJECT_0) {
        delete &watched;
    }
}

void NoAnnouncement(void*) {
}

// Ends the ctags that was launched on the tree and never let go.
void EndUnlet(CtagsRun& run) {
    TerminateProcess(run.process.Get(), ERROR_CANCELLED);
    WaitForSingleObject(run.process.Get(), INFINITE);
    run.thread.Reset();
    run.process.Reset();
    run.lock.Reset();
}

void LearnAndUpdate(void* watchedRun) {
    WatchedRun& watched = *static_cast<WatchedRun*>(watchedRun);
    LearnChanges(watched.command, watched.run, watched.update);
    if (!watched.update.plan.fullRun) {
        watched.updated =
            RunUpdate(watched.command, watched.run, watched.update, watched.creationFlags,
                      kReplacePatienceMs, kPlainWaits, NoAnnouncement, nullptr);
    }
}

void KeepRecordOf(void* update) {
    KeepRecord(*static_cast<TreeUpdate*>(update));
}

// Lets the run go on the whole tree, or updates the tags file from what
// changed and ends the ctags that was launched on the tree before it ran.
// The walk, the update and the record, which allocate, run on the ready
// thread; a run without it runs on the whole tree and keeps no record.
RunEnd EndWatchedRun(WatchedRun& watched) {
    CtagsRun& run = watched.run;
    run.endError = MakeRunTemporary(run);
    if (run.endError != ERROR_SUCCESS) {
        EndUnlet(run);
        return RunEnd::NotStarted;
    }
    ReadyThread worker;
    if (!worker.Run(LearnAndUpdate, &watched)) {
        watched.update.recordable = false;
        watched.updated = UpdateEnd::FullRunNeeded;
    }
    const UpdateEnd updated = watched.updated;
    RunEnd end = updated == UpdateEnd::Updated   ? RunEnd::Ran
                 : updated == UpdateEnd::Stopped ? RunEnd::Stopped
                                                 : RunEnd::Failed;
    if (updated == UpdateEnd::FullRunNeeded) {
        // The job and the free space, off the editor's thread.
        ResumeRun(run);
        end = FinishRun(run, kReplacePatienceMs, kPlainWaits);
    } else {
        EndUnlet(run);
    }
    if (end == RunEnd::Ran) {
        worker.Run(KeepRecordOf, &watched.update);
    }
    return end;
}

} // namespace

CountedString RunInBackground(const CtagsCommand& command, DWORD creationFlags, HWND hwnd) {
    CountedString status;
    // Made before ctags starts, so that no allocation stands between a
    // started ctags and its watcher. The watcher names ctags by a literal,
    // never by the command line, which belongs to the command.
    auto watched = std::make_unique<WatchedRun>();
    watched->command = command;
    watched->creationFlags = creationFlags | IDLE_PRIORITY_CLASS;
    watched->end = FormatEndTexts("ctags");
    FormatResource(status, IDS_RUNNING, command.shown.Chars());
    // With room for Windows's reason, should the watcher fail.
    CountedString couldNotRun;
    FormatResource(couldNotRun, IDS_COULD_NOT_RUN, command.shown.Chars());
    couldNotRun.GetBuffer(couldNotRun.Length() + sizeof(Reason));
    Reason reason;
    if (!PrepareRun(command, watched->run, status, false)) {
        return status;
    }
    watched->library = ReferenceThisLibrary();
    DWORD threadId = 0;
    const UniqueHandle watcher(watched->library
                                   ? CreateThread(nullptr, 0, CompletionWatcher, watched.get(),
                                                  CREATE_SUSPENDED, &threadId)
                                   : nullptr);
    if (!watcher) {
        WindowsReason(GetLastError(), reason);
        AppendReason(couldNotRun, reason);
        return couldNotRun; // the lock and the reference go with `watched`
    }
    // The watcher owns the run from here on, and runs however the launch
    // ends: without a process it ends at once.
    WatchedRun& run = *watched.release();
    struct ResumeOnUnwind {
        HANDLE thread;
        bool done;
        ~ResumeOnUnwind() {
            if (!done) {
                ResumeThread(thread);
            }
        }
    } resume{watcher.Get(), false};
    if (LaunchRun(command, run.creationFlags, run.run, status)) {
        SetRunningMarker(hwnd); // before the watcher can clear it
    }
    resume.done = true;
    if (ResumeThread(watcher.Get()) == static_cast<DWORD>(-1)) {
        WindowsReason(GetLastError(), reason);
        EndUnwatched(run, watcher.Get());
        AppendReason(couldNotRun, reason);
        return couldNotRun;
    }
    return status;
}

DWORD WINAPI CompletionWatcher(void* watchedRun) {
    std::unique_ptr<WatchedRun> watched(static_cast<WatchedRun*>(watchedRun));
    if (watched->run.process) {
        SetWatcherProcess(watched->run.process.Get());
        const RunEnd end = EndWatchedRun(*watched);
        // The command's own texts come first, then the beep: the editor's
        // thread answers this only once the command has returned.
        SendMessageA(RunningMarker(), WM_NULL, 0, 0);
        SendStatusText(RunningMarker(), EndText(watched->end, end, watched->run));
        ClearRunningMarker();
        ClearWatcherProcess();
    }
    const HMODULE library = watched->library.Release();
    watched.reset();
    FreeLibraryAndExitThread(library, 0);
    return 0;
}

} // namespace kestrel
