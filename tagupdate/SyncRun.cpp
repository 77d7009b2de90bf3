// The synchronous road holds the editor's thread until ctags has ended, but
// nothing on it that may take long runs there: the look at the tags file
// (which reads a first line to its end, however long), the program search,
// the removal of a leftover and the walk of the tree run off that thread,
// and so do the free space readings of a slow volume, the wait for ctags,
// the merge of an update and the replacement, while the editor's thread
// serves its windows (OffThreadWork).
#include "tagupdate/SyncRun.h"

#include <new>

#include "resources/resource.h"
#include "tagupdate/OffThreadWork.h"
#include "tagupdate/StatusText.h"
#include "tagupdate/TreeUpdate.h"

namespace kestrel {
namespace {

// How long the end of the run waits for readers of the tags file to let go.
constexpr DWORD kReplacePatienceMs = 2000;

// Everything before ctags starts.
struct Preparation {
    const Settings& settings;
    const CountedString& commandLine;
    const CountedString& runFolder;
    bool shiftHeld;
    CtagsRun& run;
    CountedString& status;
    TreeUpdate& update;
    CtagsCommand command;
    bool prepared;
};

void Prepare(void* preparation) {
    Preparation& p = *static_cast<Preparation*>(preparation);
    p.command = PrepareCommand(p.settings, p.commandLine, p.runFolder);
    p.command.shiftHeld = p.shiftHeld;
    p.prepared = PrepareRun(p.command, p.run, p.status);
    if (p.prepared) {
        LearnChanges(p.command, p.run, p.update);
    }
}

// Everything after ctags has been launched, as the completion watcher does
// it; for an update, its launches too.
struct Ending {
    CtagsRun& run;
    TreeUpdate& update;
    RunEnd end;
    const CtagsCommand* updating; // null: ctags has been launched on the tree
    DWORD creationFlags;
    HWND hwnd;
    CountedString running; // the text shown once ctags runs
    CountedString& status; // 503 where the full run after an update did not start
    bool launched;
    bool announced;
};

void Announce(void* ending) {
    Ending& e = *static_cast<Ending*>(ending);
    if (!e.announced) {
        e.announced = true;
        SendStatusText(e.hwnd, e.running);
    }
}

void EndRun(void* ending) {
    Ending& e = *static_cast<Ending*>(ending);
    if (e.updating != nullptr) {
        const UpdateEnd updated = RunUpdate(*e.updating, e.run, e.update, e.creationFlags,
                                            kReplacePatienceMs, kPlainWaits, Announce, &e);
        if (updated != UpdateEnd::FullRunNeeded) {
            e.end = updated == UpdateEnd::Updated   ? RunEnd::Ran
                    : updated == UpdateEnd::Stopped ? RunEnd::Stopped
                                                    : RunEnd::Failed;
        } else if (!LaunchRun(*e.updating, e.creationFlags, e.run, e.status)) {
            e.launched = false;
            return;
        } else {
            Announce(&e);
        }
    }
    if (e.run.process) {
        ResumeRun(e.run);
        e.end = FinishRun(e.run, kReplacePatienceMs, kPlainWaits);
    }
    if (e.end == RunEnd::Ran) {
        KeepRecord(e.update);
    }
}

} // namespace

CountedString RunSynchronously(const Settings& settings, const CountedString& commandLine,
                               const CountedString& runFolder, bool shiftHeld, DWORD creationFlags,
                               HWND hwnd) {
    // Made before ctags starts: out of memory cannot come between a started
    // ctags and the end of its run.
    CountedString status;
    FormatResource(status, IDS_RUNNING, commandLine.Chars());
    const EndTexts end = FormatEndTexts(commandLine.Chars());
    CtagsRun run;
    TreeUpdate update;
    const DWORD flags = creationFlags | NORMAL_PRIORITY_CLASS;
    Ending ending{run, update, RunEnd::Failed, nullptr, flags, hwnd, status, status, true, false};
    // The thread that ends the run exists before ctags starts: a ctags that
    // runs must be waited for with the editor's windows served.
    OffThreadWork ender(EndRun, &ending);
    if (!ender) {
        FormatResource(status, IDS_COULD_NOT_RUN, commandLine.Chars());
        return status;
    }
    Preparation preparation{settings, commandLine, runFolder,      shiftHeld, run,
                            status,   update,      CtagsCommand(), false};
    RunServingMessages(Prepare, &preparation);
    if (!preparation.prepared) {
        return status;
    }
    if (update.plan.fullRun) {
        if (!LaunchRun(preparation.command, flags, run, status)) {
            return status;
        }
        Announce(&ending);
    } else {
        // The thread that ends the run starts ctags on the changed files,
        // and on the whole tree where the update cannot be made.
        ending.updating = &preparation.command;
    }
    // The editor's windows stay painted and answer other programs while it
    // waits; its input waits until the command has returned.
    ender.Run();
    return ending.launched ? EndText(end, ending.end) : status;
}

} // namespace kestrel
