#include "tagupdate/SyncRun.h"

#include "resources/resource.h"
#include "tagupdate/StatusText.h"
#include "tagupdate/TreeUpdate.h"
#include "tagupdate/WaitServingMessages.h"
#include "tagupdate/WorkOffThread.h"

namespace kestrel {
namespace {

// How long the editor's thread waits for readers of the tags file to let go.
constexpr DWORD kReplacePatienceMs = 2000;

bool WaitForWork(HANDLE thread) {
    return WaitServingMessages(thread, DiskGuard());
}

struct Learning {
    const CtagsCommand* command;
    const CtagsRun* run;
    TreeUpdate* update;
};

void LearnWork(void* learning) {
    const Learning& it = *static_cast<Learning*>(learning);
    LearnChanges(*it.command, *it.run, *it.update);
}

// Shows "running" once.
struct Announcement {
    HWND hwnd;
    const CountedString* text;
    bool shown;
};

void Announce(void* announcement) {
    Announcement& it = *static_cast<Announcement*>(announcement);
    if (!it.shown) {
        it.shown = true;
        SendStatusText(it.hwnd, *it.text);
    }
}

RunEnd EndOfUpdate(UpdateEnd end) {
    return end == UpdateEnd::Updated   ? RunEnd::Ran
           : end == UpdateEnd::Stopped ? RunEnd::Stopped
                                       : RunEnd::Failed;
}

} // namespace

CountedString RunSynchronously(const CtagsCommand& command, DWORD creationFlags, HWND hwnd) {
    // Made before ctags starts: out of memory cannot come between a started
    // ctags and the end of its run.
    CountedString status;
    FormatResource(status, IDS_RUNNING, command.shown.Chars());
    const EndTexts end = FormatEndTexts(command.shown.Chars());
    CtagsRun run;
    if (!PrepareRun(command, run, status)) {
        return status;
    }
    // What changed is learnt, and merged, off the editor's thread, which
    // goes on serving its windows meanwhile.
    const UpdateWaits waits = {{WaitServingMessages, PauseServingMessages}, WaitForWork};
    const DWORD flags = creationFlags | NORMAL_PRIORITY_CLASS;
    TreeUpdate update;
    Learning learning = {&command, &run, &update};
    DoWork(LearnWork, &learning, WaitForWork);
    Announcement running = {hwnd, &status, false};
    UpdateEnd updated = UpdateEnd::FullRunNeeded;
    if (!update.plan.fullRun) {
        updated =
            RunUpdate(command, run, update, flags, kReplacePatienceMs, waits, Announce, &running);
    }
    RunEnd ended = EndOfUpdate(updated);
    if (updated == UpdateEnd::FullRunNeeded) {
        if (!LaunchRun(command, flags, run, status)) {
            return status;
        }
        ResumeRun(run);
        Announce(&running);
        // The editor's windows stay painted and answer other programs while
        // it waits; its input waits until the command has returned.
        ended = FinishRun(run, kReplacePatienceMs, waits.ctags);
    }
    if (ended == RunEnd::Ran) {
        KeepRecord(update);
    }
    return EndText(end, ended);
}

} // namespace kestrel
