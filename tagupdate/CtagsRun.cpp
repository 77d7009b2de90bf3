#include "tagupdate/CtagsRun.h"

#include <utility>

#include "resources/resource.h"
#include "tagupdate/CtagsOptions.h"
#include "tagupdate/CtagsProcess.h"
#include "tagupdate/ProgramSearch.h"
#include "tagupdate/TagsLock.h"

namespace kestrel {
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
    command.namesFileOperand = NamesFileOperand(settings.ExecOption.Chars());
    return command;
}

bool PrepareRun(const CtagsCommand& command, CtagsRun& run, CountedString& status) {
    const DWORD locked =
        command.namesFileOperand ? ERROR_SUCCESS : LockTagsFile(command.output.lockPath, run.lock);
    if (locked == ERROR_SHARING_VIOLATION) {
        FormatResource(status, IDS_ALREADY_RUNNING, command.shown.Chars());
        MessageBeep(0);
        return false;
    }
    // Without its lock a run could meet another on the same files: it does
    // not start.
    if (command.namesFileOperand || locked != ERROR_SUCCESS ||
        !FindProgramFor(command.execPath, run.program) || !RemoveLeftover(command.output)) {
        run.lock.Reset();
        FormatResource(status, IDS_COULD_NOT_RUN, command.shown.Chars());
        return false;
    }
    run.output = command.output;
    return true;
}

bool LaunchRun(const CtagsCommand& command, DWORD creationFlags, CtagsRun& run,
               CountedString& status) {
    CtagsProcess created;
    if (!StartCtags(run.program, command.started, command.runFolder, creationFlags, created)) {
        run.lock.Reset();
        FormatResource(status, IDS_COULD_NOT_RUN, command.shown.Chars());
        return false;
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
