#include "tagupdate/CtagsRun.h"

#include <utility>

#include "resources/resource.h"
#include "tagupdate/CtagsProcess.h"
#include "tagupdate/ProgramSearch.h"
#include "tagupdate/TagUpdate.h"

namespace kestrel {

CtagsCommand PrepareCommand(const Settings& settings, const CountedString& commandLine,
                            const CountedString& runFolder) {
    CtagsCommand command;
    command.shown = commandLine;
    command.execPath = settings.ExecPath;
    command.runFolder = runFolder;
    command.output = ChooseTagsOutput(settings, runFolder);
    command.started = command.output.InPlace()
                          ? commandLine
                          : BuildCommandLine(settings, settings.TagsFileName + kTemporarySuffix);
    return command;
}

bool StartRun(const CtagsCommand& command, DWORD creationFlags, CtagsRun& run,
              CountedString& status) {
    CountedString program;
    bool ready = true;
    if (!HasFolderPart(command.execPath)) {
        program = FindProgram(command.execPath);
        ready = !program.IsEmpty();
    }
    CtagsProcess created;
    if (!ready || !RemoveLeftover(command.output) ||
        !StartCtags(program, command.started, command.runFolder, creationFlags, created)) {
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
    return KeepOutput(run.output, exitedWell, patienceMs);
}

void FormatEnd(CountedString& text, bool succeeded, const char* name) {
    if (succeeded) {
        FormatResource(text, IDS_RAN, name);
    } else {
        FormatResource(text, IDS_RAN_WITH_ERROR, name);
        MessageBeep(0);
    }
}

} // namespace kestrel
