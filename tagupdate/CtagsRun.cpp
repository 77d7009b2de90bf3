#include "tagupdate/CtagsRun.h"

#include <utility>

#include "resources/resource.h"
#include "tagupdate/CtagsOptions.h"
#include "tagupdate/CtagsProcess.h"
#include "tagupdate/ProgramSearch.h"
#include "tagupdate/TagsLock.h"

namespace kestrel {
namespace {

// Ends a run that does not start: the lock goes, the text for `id` is made,
// and every refusal but "could not run" beeps.
bool Refuse(const CtagsCommand& command, UINT id, CtagsRun& run, CountedString& status) {
    run.lock.Reset();
    FormatResource(status, id, command.shown.Chars());
    if (id != IDS_COULD_NOT_RUN) {
        MessageBeep(0);
    }
    return false;
}

} // namespace

CountedString BuildCommandLine(const Settings& settings) {
    return BuildCommandLine(settings, settings.TagsFileName);
}

CountedString BuildCommandLine(const Settings& settings, const CountedString& tagsName) {
    return CountedString("\"") + settings.ExecPath + "\" " + settings.ExecOption + " -f " +
           tagsName;
}

CtagsCommand PrepareCommand(const Settings& settings, const CountedString& commandLine,
                            const CountedString& runFolder) {
    CtagsCommand command;
    command.shown = commandLine;
    command.execPath = settings.ExecPath;
    command.runFolder = runFolder;
    command.output = ChooseTagsOutput(settings, runFolder);
    command.started = command.output.InPlace()
                          ? commandLine
                          : BuildCommandLine(settings, command.output.fileArgument);
    command.refusesOptions = NamesFileOperand(settings.ExecOption.Chars()) ||
                             LeavesArgumentOpen(settings.ExecOption.Chars());
    return command;
}

bool PrepareRun(const CtagsCommand& command, CtagsRun& run, CountedString& status) {
    // A run that cannot start for its settings is told so before anything
    // else: a missing program is not to be blamed on ctags or another run.
    if (command.refusesOptions || !FindProgramFor(command.execPath, run.program)) {
        return Refuse(command, IDS_COULD_NOT_RUN, run, status);
    }
    // Without its lock a run could meet another on the same files: it does
    // not start.
    const DWORD locked = LockTagsFile(command.output.lockPath, run.lock);
    if (locked != ERROR_SUCCESS) {
        return Refuse(command,
                      locked == ERROR_SHARING_VIOLATION ? IDS_ALREADY_RUNNING : IDS_COULD_NOT_RUN,
                      run, status);
    }
    // ctags refuses to overwrite a file that is not a tags file, and ends
    // with an error; its temporary file would replace it all the same.
    if (command.output.refusedByCtags) {
        return Refuse(command, IDS_RAN_WITH_ERROR, run, status);
    }
    if (!RemoveLeftover(command.output)) {
        return Refuse(command, IDS_COULD_NOT_RUN, run, status);
    }
    run.output = command.output;
    return true;
}

bool LaunchRun(const CtagsCommand& command, DWORD creationFlags, CtagsRun& run,
               CountedString& status) {
    CtagsProcess created;
    if (!StartCtags(run.program, command.started, command.runFolder, creationFlags, created)) {
        return Refuse(command, IDS_COULD_NOT_RUN, run, status);
    }
    run.process = std::move(created.process);
    return true; // the thread handle closes with `created`
}

namespace {

void WaitUntilEnded(HANDLE process) {
    WaitForSingleObject(process, INFINITE);
}

void PauseOnly(DWORD ms) {
    Sleep(ms);
}

} // namespace

const RunWaits kPlainWaits = {WaitUntilEnded, PauseOnly};

bool FinishRun(CtagsRun& run, DWORD patienceMs, const RunWaits& waits) {
    waits.untilEnded(run.process.Get());
    DWORD exitCode = 0;
    const bool exitedWell = GetExitCodeProcess(run.process.Get(), &exitCode) && exitCode == 0;
    run.process.Reset();
    const bool kept = KeepOutput(run.output, exitedWell, patienceMs, waits.pause);
    run.lock.Reset();
    return kept;
}

EndTexts FormatEndTexts(const char* name) {
    EndTexts texts;
    FormatResource(texts.ran, IDS_RAN, name);
    FormatResource(texts.ranWithError, IDS_RAN_WITH_ERROR, name);
    return texts;
}

const CountedString& EndText(const EndTexts& texts, bool succeeded) {
    if (!succeeded) {
        MessageBeep(0);
    }
    return succeeded ? texts.ran : texts.ranWithError;
}

} // namespace kestrel
