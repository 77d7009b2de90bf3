// The synchronous road holds the editor's thread until ctags has ended, but
// what may take long runs off that thread while it serves its windows
// (OffThreadWork): the look at the tags file, which reads a first line to
// its end however long it is, the walk of the tree, and the end of the run
// (the free-space readings, which a slow volume answers in seconds, the wait
// for ctags, the merge of an update and the replacement). The refusals and
// their beeps stay on the editor's thread.
#include "tagupdate/SyncRun.h"

#include "resources/resource.h"
#include "tagupdate/OffThreadWork.h"
#include "tagupdate/StatusText.h"
#include "tagupdate/TreeUpdate.h"

namespace kestrel {
namespace {

// How long the end of the run waits for readers of the tags file to let go.
constexpr DWORD kReplacePatienceMs = 2000;

// The command, chosen off the editor's thread.
struct Choice {
    const Settings& settings;
    const CountedString& commandLine;
    const CountedString& runFolder;
    CtagsCommand command;
};

void Choose(void* choice) {
    Choice& c = *static_cast<Choice*>(choice);
    c.command = PrepareCommand(c.settings, c.commandLine, c.runFolder);
}

// What changed since the last run, learnt off the editor's thread.
struct Learning {
    const CtagsCommand& command;
    const CtagsRun& run;
    TreeUpdate& update;
};

void Learn(void* learning) {
    Learning& l = *static_cast<Learning*>(learning);
    LearnChanges(l.command, l.run, l.update);
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
    EndTexts end = FormatEndTexts(commandLine.Chars());
    CtagsRun run;
    TreeUpdate update;
    const DWORD flags = creationFlags | NORMAL_PRIORITY_CLASS;
    Ending ending{run, update, RunEnd::Failed, nullptr, flags, hwnd, status, status, true, false};
    // The thread that ends the run exists before ctags starts: a ctags that
    // runs must be waited for with the editor's windows served.
    OffThreadWork ender(EndRun, &ending);
    if (!ender) {
        Reason reason;
        WindowsReason(GetLastError(), reason);
        FormatResource(status, IDS_COULD_NOT_RUN, commandLine.Chars());
        AppendReason(status, reason);
        return status;
    }
    Choice choice{settings, commandLine, runFolder, CtagsCommand()};
    RunServingMessages(Choose, &choice);
    choice.command.shiftHeld = shiftHeld;
    if (!PrepareRun(choice.command, run, status)) {
        return status;
    }
    Learning learning{choice.command, run, update};
    RunServingMessages(Learn, &learning);
    if (update.plan.fullRun) {
        if (!LaunchRun(choice.command, flags, run, status)) {
            return status;
        }
        Announce(&ending);
    } else {
        // The thread that ends the run starts ctags on the changed files,
        // and on the whole tree where the update cannot be made.
        ending.updating = &choice.command;
    }
    // The editor's windows stay painted and answer other programs while it
    // waits; its input waits until the command has returned.
    ender.Run();
    return ending.launched ? EndText(end, ending.end, run) : status;
}

} // namespace kestrel
