#include "tagupdate/SyncRun.h"

#include "resources/resource.h"
#include "tagupdate/CtagsProcess.h"
#include "tagupdate/StatusText.h"

namespace kestrel {

CountedString RunSynchronously(const CountedString& commandLine, const CountedString& runFolder,
                               DWORD creationFlags, HWND hwnd) {
    CountedString status;
    CtagsProcess ctags;
    if (!StartCtags(commandLine, runFolder, creationFlags | NORMAL_PRIORITY_CLASS, ctags)) {
        FormatResource(status, IDS_COULD_NOT_RUN, commandLine.Chars());
        return status;
    }
    FormatResource(status, IDS_RUNNING, commandLine.Chars());
    SendStatusText(hwnd, status);

    WaitForSingleObject(ctags.process.Get(), INFINITE);
    DWORD exitCode = 0;
    const bool succeeded = GetExitCodeProcess(ctags.process.Get(), &exitCode) && exitCode == 0;
    ctags.process.Reset();
    ctags.thread.Reset();

    if (succeeded) {
        FormatResource(status, IDS_RAN, commandLine.Chars());
    } else {
        FormatResource(status, IDS_RAN_WITH_ERROR, commandLine.Chars());
        MessageBeep(0);
    }
    return status;
}

} // namespace kestrel
