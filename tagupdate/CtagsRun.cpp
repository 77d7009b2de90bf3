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
    command.refusesOptions = NamesFileOperand(settings.ExecOption.Chars()) ||
                             LeavesArgumentOpen(settings.ExecOption.Chars());
    return command;
}

bool StartRun(const CtagsCommand& command, DWORD creationFlags, CtagsRun& run,
              CountedString& status) {
    if (!command.refusesOptions && !LockTagsFile(command.output.lockPath, run.lock)) {
        FormatResource(status, IDS_ALREADY_RUNNING, command.shown.Chars());
        MessageBeep(0);
        return false;
    }
    CountedString program;
    CtagsProcess created;
    if (command.refusesOptions || !FindProgramFor(command.execPath, program) ||
        !RemoveLeftover(command.output) ||
        !StartCtags(program, command.started, command.runFolder, creationFlags, created)) {
        run.lock.Reset();
        FormatResource(status, IDS_COULD_NOT_RUN, command.shown.Chars());
        return false;
    }
    run.process = std::move(created.process);
    run.output = command.output;
    return true; // the thread handle closes with `created`
}

bool FinishRun(CtagsRun& run, DWORD patienceMs) {
    WaitForSingleObject(run.process.Get(), INFINITE);
    DWORD exitCode = 0;
    const bool exitedWell = GetExitCodeProcess(run.process.Get(), &exitCode) && exitCode == 0;
    run.process.Reset();
    const bool kept = KeepOutput(run.output, exitedWell, patienceMs);
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
