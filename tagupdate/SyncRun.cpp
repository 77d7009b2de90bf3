// The synchronous road holds the editor's thread until ctags has ended, but
// what may take long runs off that thread while it serves its windows
// (OffThreadWork): the look at the tags file, which reads a first line to
// its end however long it is, and the end of the run (the free-space
// readings, which a slow volume answers in seconds, the wait for ctags and
// the replacement). The refusals and their beeps stay on the editor's
// thread.
#include "tagupdate/SyncRun.h"

#include "resources/resource.h"
#include "tagupdate/OffThreadWork.h"
#include "tagupdate/StatusText.h"

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
    EndTexts end = FormatEndTexts(commandLine.Chars());
    CtagsRun run;
    Ending ending{run, RunEnd::Failed};
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
    if (!PrepareRun(choice.command, run, status) ||
        !LaunchRun(choice.command, creationFlags | NORMAL_PRIORITY_CLASS, run, status)) {
        return status;
    }
    SendStatusText(hwnd, status);
    // The editor's windows stay painted and answer other programs while it
    // waits; its input waits until the command has returned.
    ender.Run();
    return EndText(end, ending.end, run);
}

} // namespace kestrel
