#include "tagupdate/CtagsRun.h"

#include <utility>

#include "resources/resource.h"
#include "tagupdate/CtagsOptions.h"
#include "tagupdate/CtagsProcess.h"
#include "tagupdate/EndBeeps.h"
#include "tagupdate/Paths.h"
#include "tagupdate/ProgramSearch.h"
#include "tagupdate/TagsLock.h"

namespace kestrel {
namespace {

// Ends a run that does not start: the lock goes, the text for `id` is made,
// with its beep.
bool Refuse(const CtagsCommand& command, UINT id, CtagsRun& run, CountedString& status) {
    run.lock.Reset();
    FormatResource(status, id, command.shown.Chars());
    BeepFor(id);
    return false;
}

// ExecPath without one pair of surrounding double quotes, as a path copied
// from Explorer carries them.
CountedString UnquotedPath(const CountedString& execPath) {
    const int length = execPath.Length();
    const char* path = execPath.Chars();
    return length >= 2 && path[0] == '"' && path[length - 1] == '"'
               ? CountedString(execPath.Left(length - 1).Chars() + 1)
               : execPath;
}

bool IsBatchFile(const CountedString& program) {
    const int dot = program.FindLast('.');
    const char* extension = program.Chars() + (dot < 0 ? program.Length() : dot);
    return lstrcmpiA(extension, ".bat") == 0 || lstrcmpiA(extension, ".cmd") == 0;
}

// The command line the process gets. A batch file runs in the command
// interpreter, which takes the program from the line's first word and looks
// for it in the current folder first: that word becomes the program found.
CountedString StartedLine(const CtagsCommand& command, const CountedString& program) {
    if (!IsBatchFile(program)) {
        return command.started;
    }
    const char* arguments = command.started.Chars() + command.execPath.Length() + 2;
    return CountedString("\"") + program + "\"" + arguments;
}

} // namespace

CountedString BuildCommandLine(const Settings& settings) {
    return BuildCommandLine(settings, settings.TagsFileName);
}

CountedString BuildCommandLine(const Settings& settings, const CountedString& tagsName) {
    return CountedString("\"") + UnquotedPath(settings.ExecPath) + "\" " + settings.ExecOption +
           " -f " + tagsName;
}

CtagsCommand PrepareCommand(const Settings& settings, const CountedString& commandLine,
                            const CountedString& runFolder) {
    CtagsCommand command;
    command.shown = commandLine;
    command.execPath = UnquotedPath(settings.ExecPath);
    command.runFolder = runFolder;
    command.options = settings.ExecOption;
    command.tagsName = settings.TagsFileName;
    command.output = ChooseTagsOutput(settings, runFolder);
    command.started = command.output.InPlace()
                          ? commandLine
                          : BuildCommandLine(settings, command.output.fileArgument);
    const char* options = settings.ExecOption.Chars();
    command.refusesOptions =
        NamesFileOperand(options) || LeavesArgumentOpen(options) || LeavesQuoteOpen(options);
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
    if (!RemoveLeftover(command.output) || !MakeTemporaryFile(command.output, run.temporary)) {
        return Refuse(command, IDS_COULD_NOT_RUN, run, status);
    }
    run.output = command.output;
    // Where the tags file is written; for a name relative to a drive, the
    // run folder's volume.
    run.disk = DiskGuard(command.output.tagsPath.IsEmpty() ? CurrentDirectoryFor(command.runFolder)
                                                           : DirectoryOf(command.output.tagsPath));
    return true;
}

bool LaunchRun(const CtagsCommand& command, DWORD creationFlags, CtagsRun& run,
               CountedString& status) {
    CtagsProcess created;
    if (!StartCtags(run.program, StartedLine(command, run.program), command.runFolder,
                    creationFlags | CREATE_SUSPENDED, created)) {
        return Refuse(command, IDS_COULD_NOT_RUN, run, status);
    }
    run.process = std::move(created.process);
    run.thread = std::move(created.thread);
    return true;
}

void ResumeRun(CtagsRun& run) {
    // In its job before it runs, so that nothing it starts escapes it.
    run.job = JobFor(run.process.Get(), run.jobPort);
    run.disk.Start();
    if (ResumeThread(run.thread.Get()) == static_cast<DWORD>(-1)) {
        TerminateProcess(run.process.Get(), 1);
    }
    run.thread.Reset();
}

namespace {

// Waits up to `ms` for the run to end: true once every process of its job
// has ended, or ctags where it has none.
bool WaitForEnd(const CtagsRun& run, DWORD ms) {
    if (!run.job) {
        return WaitForSingleObject(run.process.Get(), ms) != WAIT_TIMEOUT;
    }
    if (JobHasEnded(run.job.Get(), run.process.Get())) {
        return true;
    }
    if (run.jobPort) {
        // Any report of the job wakes it; the count decides, as a report may
        // be lost.
        DWORD report = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED overlapped = nullptr;
        GetQueuedCompletionStatus(run.jobPort.Get(), &report, &key, &overlapped, ms);
    } else {
        Sleep(ms);
    }
    return JobHasEnded(run.job.Get(), run.process.Get());
}

// The first reading comes right after ctags has been let go.
bool WaitUntilEnded(CtagsRun& run) {
    while (run.disk.HasRoom()) {
        if (WaitForEnd(run, run.disk.NextReadingMs())) {
            return true;
        }
    }
    return false;
}

void PauseOnly(DWORD ms) {
    Sleep(ms);
}

} // namespace

const RunWaits kPlainWaits = {WaitUntilEnded, PauseOnly};

RunEnd FinishRun(CtagsRun& run, DWORD patienceMs, const RunWaits& waits) {
    const bool stopped = !waits.untilEnded(run);
    if (stopped) {
        // Ends ctags and whatever it started; its output is dropped below
        // once they have all let go of it.
        run.job ? TerminateJobObject(run.job.Get(), 1) : TerminateProcess(run.process.Get(), 1);
        while (!WaitForEnd(run, kDiskGuardMs)) {
        }
    }
    DWORD exitCode = 0;
    const bool exitedWell =
        !stopped && GetExitCodeProcess(run.process.Get(), &exitCode) && exitCode == 0;
    run.process.Reset();
    run.job.Reset();
    run.jobPort.Reset();
    const bool kept = KeepOutput(run.output, run.temporary, exitedWell, patienceMs, waits.pause);
    run.lock.Reset();
    return stopped ? RunEnd::Stopped : kept ? RunEnd::Ran : RunEnd::Failed;
}

EndTexts FormatEndTexts(const char* name) {
    EndTexts texts;
    FormatResource(texts.ran, IDS_RAN, name);
    FormatResource(texts.ranWithError, IDS_RAN_WITH_ERROR, name);
    FormatResource(texts.stopped, IDS_STOPPED_DISK_FULL, name);
    return texts;
}

const CountedString& EndText(const EndTexts& texts, RunEnd end) {
    const UINT id = end == RunEnd::Ran       ? IDS_RAN
                    : end == RunEnd::Stopped ? IDS_STOPPED_DISK_FULL
                                             : IDS_RAN_WITH_ERROR;
    BeepFor(id);
    return id == IDS_RAN                 ? texts.ran
           : id == IDS_STOPPED_DISK_FULL ? texts.stopped
                                         : texts.ranWithError;
}

} // namespace kestrel
