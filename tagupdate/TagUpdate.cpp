#include "tagupdate/TagUpdate.h"

#include "plugin/HostInterface.h"
#include "plugin/ModuleState.h"
#include "resources/resource.h"
#include "tagupdate/BackgroundRun.h"
#include "tagupdate/CtagsRun.h"
#include "tagupdate/EndBeeps.h"
#include "tagupdate/FolderBrowser.h"
#include "tagupdate/FolderSearch.h"
#include "tagupdate/Paths.h"
#include "tagupdate/StatusText.h"
#include "tagupdate/SyncRun.h"

namespace kestrel {

CountedString GetDocumentPath(HWND hwnd) {
    // Cleared first and ended at its last byte: whatever the editor writes
    // or fails to write, the path is a text inside the buffer.
    char buffer[kPathBufferSize] = {};
    SendMessageA(hwnd, kDocumentPathQuery, kDocumentPathQueryKind,
                 reinterpret_cast<LPARAM>(buffer));
    buffer[kPathBufferSize - 1] = '\0';
    return CountedString(buffer);
}

void RunTagUpdate(const Settings& settings, HWND hwnd) {
    const CountedString commandLine = BuildCommandLine(settings);
    const CountedString documentPath = GetDocumentPath(hwnd);

    CountedString foundFolder = FindTagsFolder(documentPath, settings.TagsFileName);
    CountedString runFolder;
    if (foundFolder.IsEmpty()) {
        foundFolder = DirectoryOf(documentPath); // only preselects the browser
    } else if (!settings.AskFolder) {
        runFolder = foundFolder;
    }

    CountedString announced;
    FormatResource(announced, IDS_RUN_IN_FOLDER, commandLine.Chars());
    KeepLastStatusText(announced);
    SendStatusText(hwnd, announced);

    if (runFolder.IsEmpty()) {
        runFolder = PickFolder(hwnd, foundFolder);
    }
    if (runFolder.IsEmpty()) {
        return; // no folder chosen: the editor goes on showing the announcement
    }
    SendStatusText(hwnd, runFolder);

    const DWORD creationFlags = settings.ShowConsole ? 0 : DETACHED_PROCESS;
    CountedString status;
    if (RunningMarker() != nullptr) {
        FormatResource(status, IDS_ALREADY_RUNNING, commandLine.Chars());
        BeepFor(IDS_ALREADY_RUNNING);
    } else if (settings.ExecSync) {
        status =
            RunSynchronously(PrepareCommand(settings, commandLine, runFolder), creationFlags, hwnd);
    } else {
        status =
            RunInBackground(PrepareCommand(settings, commandLine, runFolder), creationFlags, hwnd);
    }
    SendStatusText(hwnd, status);
}

} // namespace kestrel
