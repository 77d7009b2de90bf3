#include "tagupdate/TagUpdate.h"

#include "plugin/HostInterface.h"
#include "plugin/LibraryHold.h"
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
    // or fails to write, the path is a text inside the buffer. The editor
    // cuts a longer path to fit, on a character boundary, so a cut answer
    // may be one byte short of full and may name an ancestor folder of the
    // document, or nothing. Its length tells neither: only an answer that
    // names an existing file is the document's path; any other reads as no
    // path at all.
    char buffer[kPathBufferSize] = {};
    SendMessageA(hwnd, kDocumentPathQuery, kDocumentPathQueryKind,
                 reinterpret_cast<LPARAM>(buffer));
    buffer[kPathBufferSize - 1] = '\0';
    const CountedString path(buffer);
    return !path.IsEmpty() && IsFile(path) ? path : CountedString();
}

namespace {

// Marks the command under way for as long as it lives.
class CommandScope {
public:
    CommandScope() { SetCommandUnderWay(true); }
    ~CommandScope() { SetCommandUnderWay(false); }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;
};

} // namespace

void RunTagUpdate(const Settings& settings, HWND hwnd) {
    const CountedString commandLine = BuildCommandLine(settings);
    // Shift held while choosing the command asks for a run on the whole tree.
    const bool shiftHeld = GetKeyState(VK_SHIFT) < 0;
    // A command started from a message that this one serves (its browser's
    // loop, the synchronous wait) would run inside it, on the same files.
    // It is refused before it shows or touches anything.
    if (CommandUnderWay()) {
        CountedString refused;
        FormatResource(refused, IDS_ALREADY_RUNNING, commandLine.Chars());
        BeepFor(IDS_ALREADY_RUNNING);
        SendStatusText(hwnd, refused);
        return;
    }
    const CommandScope underWay;
    LibraryHold hold(hwnd);
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
        hold.Take(); // the browser serves messages
        runFolder = PickFolder(hwnd, foundFolder);
    }
    if (runFolder.IsEmpty()) {
        return; // no folder chosen: the editor goes on showing the announcement
    }
    SendStatusText(hwnd, runFolder);

    const DWORD creationFlags = settings.ShowConsole ? 0 : DETACHED_PROCESS;
    const auto prepared = [&] {
        CtagsCommand command = PrepareCommand(settings, commandLine, runFolder);
        command.shiftHeld = shiftHeld;
        return command;
    };
    CountedString status;
    if (RunningMarker() != nullptr) {
        FormatResource(status, IDS_ALREADY_RUNNING, commandLine.Chars());
        BeepFor(IDS_ALREADY_RUNNING);
    } else if (settings.ExecSync) {
        hold.Take(); // the wait serves messages
        status = RunSynchronously(settings, commandLine, runFolder, shiftHeld, creationFlags, hwnd);
    } else {
        status = RunInBackground(prepared(), creationFlags, hwnd);
    }
    SendStatusText(hwnd, status);
}

} // namespace kestrel
