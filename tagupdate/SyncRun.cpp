// The synchronous road holds the editor's thread until ctags has ended, but
// nothing on it that may take long runs there: the look at the tags file
// (which reads a first line to its end, however long), the program search
// and the removal of a leftover run off that thread, and so do the free
// space readings of a slow volume, the wait for ctags and the replacement,
// while the editor's thread serves its windows (OffThreadWork).
#include "tagupdate/SyncRun.h"

#include "resources/resource.h"
#include "tagupdate/OffThreadWork.h"
#include "tagupdate/StatusText.h"

namespace kestrel {
namespace {

// How long the end of the run waits for readers of the tags file to let go.
constexpr DWORD kReplacePatienceMs = 2000;

// Everything before ctags starts.
struct Preparation {
    const Settings& settings;
    const CountedString& commandLine;
    const CountedString& runFolder;
    CtagsRun& run;
    CountedString& status;
    CtagsCommand command;
    bool prepared;
};

void Prepare(void* preparation) {
    Preparation& p = *static_cast<Preparation*>(preparation);
    p.command = PrepareCommand(p.settings, p.commandLine, p.runFolder);
    p.prepared = PrepareRun(p.command, p.run, p.status);
}

// Everything after ctags has been launched, as the completion watcher does it.
struct Ending {
    CtagsRun& run;
    RunEnd end;
};

void EndRun(void* ending) {
    Ending& e = *static_cast<Ending*>(ending);
    ResumeRun(e.run);
    e.end = FinishRun(e.run, kReplacePatienceMs, kPlainWaits);
}

} // namespace

CountedString RunSynchronously(const Settings& settings, const CountedString& commandLine,
                               const CountedString& runFolder, DWORD creationFlags, HWND hwnd) {
    // Made before ctags starts: out of memory cannot come between a started
    // ctags and the end of its run.
    CountedString status;
    FormatResource(status, IDS_RUNNING, commandLine.Chars());
    const EndTexts end = FormatEndTexts(commandLine.Chars());
    CtagsRun run;
    Ending ending{run, RunEnd::Failed};
    // The thread that ends the run exists before ctags starts: a ctags that
    // runs must be waited for with the editor's windows served.
    OffThreadWork ender(EndRun, &ending);
    if (!ender) {
        FormatResource(status, IDS_COULD_NOT_RUN, commandLine.Chars());
        return status;
    }
    Preparation preparation{settings, commandLine, runFolder, run, status, CtagsCommand(), false};
    RunServingMessages(Prepare, &preparation);
    if (!preparation.prepared ||
        !LaunchRun(preparation.command, creationFlags | NORMAL_PRIORITY_CLASS, run, status)) {
        return status;
    }
    SendStatusText(hwnd, status);
    // The editor's windows stay painted and answer other programs while it
    // waits; its input waits until the command has returned.
    ender.Run();
    return EndText(end, ending.end);
}

} // namespace kestrel
