#include "tagupdate/SyncRun.h"

#include "resources/resource.h"
#include "tagupdate/StatusText.h"
#include "tagupdate/WaitServingMessages.h"

namespace kestrel {
namespace {

// How long the editor's thread waits for readers of the tags file to let go.
constexpr DWORD kReplacePatienceMs = 2000;

} // namespace

CountedString RunSynchronously(const CtagsCommand& command, DWORD creationFlags, HWND hwnd) {
    // Made before ctags starts: out of memory cannot come between a started
    // ctags and the end of its run.
    CountedString status;
    FormatResource(status, IDS_RUNNING, command.shown.Chars());
    EndTexts end = FormatEndTexts(command.shown.Chars());
    CtagsRun run;
    if (!PrepareRun(command, run, status) ||
        !LaunchRun(command, creationFlags | NORMAL_PRIORITY_CLASS, run, status)) {
        return status;
    }
    ResumeRun(run);
    SendStatusText(hwnd, status);
    // The editor's windows stay painted and answer other programs while it
    // waits; its input waits until the command has returned.
    const RunEnd ended =
        FinishRun(run, kReplacePatienceMs, {WaitServingMessages, PauseServingMessages});
    return EndText(end, ended, run);
}

} // namespace kestrel
