#include "tagupdate/CtagsRun.h"

#include <utility>

#include "resources/resource.h"
#include "tagupdate/CtagsOptions.h"
#include "tagupdate/CtagsProcess.h"
#include "tagupdate/EndBeeps.h"
#include "tagupdate/Paths.h"
#include "tagupdate/ProgramSearch.h"
#include "tagsfile/TagsLock.h"

namespace kestrel {
namespace {

// Ends a run that does not start: the lock goes, the text for `id` is made,
// followed by the reason where there is one, with its beep.
bool Refuse(const CtagsCommand& command, UINT id, const Reason* reason, CtagsRun& run,
            CountedString& status) {
    run.lock.Reset();
    FormatResource(status, id, command.shown.Chars());
    if (reason != nullptr) {
        AppendReason(status, *reason);
    }
    BeepFor(id);
    return false;
}

// Why ExecPath names no program: a bare name was looked for on the PATH and
// beside the editor, anything else where it points.
void ProgramReason(const CountedString& execPath, Reason& reason) {
    const bool bare = AnchorOf(execPath.Chars()) == Anchor::Folder && !HasFolderPart(execPath);
    OwnReason(bare ? IDS_REASON_NOT_ON_PATH : IDS_REASON_PROGRAM_MISSING, execPath.Chars(), reason);
}

// Why the lock could not be made: a folder or a read-only file in its
// place, or what Windows says.
void LockReason(const CountedString& lockPath, DWORD error, Reason& reason) {
    const DWORD attributes = GetFileAttributesA(lockPath.Chars());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        OwnReason(IDS_REASON_FOLDER_OR_READ_ONLY, lockPath.Chars(), reason);
    } else {
        WindowsReason(error, reason);
    }
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
    if (NamesFileOperand(options) || LeavesArgumentOpen(options) || LeavesQuoteOpen(options)) {
        // The whole options where no one word is to blame.
        command.misreadWord = MisreadWord(options);
        command.misreadWord =
            command.misreadWord.IsEmpty() ? settings.ExecOption : command.misreadWord;
    }
    command.readsErrors = !settings.ShowConsole;
    return command;
}

bool PrepareRun(const CtagsCommand& command, CtagsRun& run, CountedString& status,
                bool makeTemporary) {
    // A run that cannot start for its settings is told so before anything
    // else: a missing program is not to be blamed on ctags or another run.
    Reason reason;
    if (!command.misreadWord.IsEmpty()) {
        OwnReason(IDS_REASON_OPTION_WORD, command.misreadWord.Chars(), reason);
        return Refuse(command, IDS_COULD_NOT_RUN, &reason, run, status);
    }
    if (!FindProgramFor(command.execPath, run.program)) {
        ProgramReason(command.execPath, reason);
        return Refuse(command, IDS_COULD_NOT_RUN, &reason, run, status);
    }
    // Without its lock a run could meet another on the same files: it does
    // not start.
    const DWORD locked = LockTagsFile(command.output.lockPath, run.lock);
    if (locked == ERROR_SHARING_VIOLATION) {
        return Refuse(command, IDS_ALREADY_RUNNING, nullptr, run, status);
    }
    if (locked != ERROR_SUCCESS) {
        LockReason(command.output.lockPath, locked, reason);
        return Refuse(command, IDS_COULD_NOT_RUN, &reason, run, status);
    }
    // ctags refuses to overwrite a file that is not a tags file, and ends
    // with an error; its temporary file would replace it all the same.
    if (command.output.refusedByCtags) {
        OwnReason(IDS_REASON_NOT_TAGS, command.output.tagsPath.Chars(), reason);
        return Refuse(command, IDS_RAN_WITH_ERROR, &reason, run, status);
    }
    if (!RemoveLeftover(command.output)) {
        OwnReason(IDS_REASON_LEFTOVER, command.output.temporaryPath.Chars(), reason);
        return Refuse(command, IDS_COULD_NOT_RUN, &reason, run, status);
    }
    const DWORD made = MakeTemporaryFile(command.output, run.temporary, makeTemporary);
    if (made != ERROR_SUCCESS) {
        WindowsReason(made, reason);
        return Refuse(command, IDS_COULD_NOT_RUN, &reason, run, status);
    }
    run.output = command.output;
    // Where the tags file is written; for a name relative to a drive, the
    // run folder's volume.
    run.disk = DiskGuard(command.output.tagsPath.IsEmpty() ? CurrentDirectoryFor(command.runFolder)
                                                           : DirectoryOf(command.output.tagsPath));
    return true;
}

DWORD MakeRunTemporary(CtagsRun& run) {
    return run.output.InPlace() ? ERROR_SUCCESS : run.temporary.Create();
}

bool LaunchRun(const CtagsCommand& command, DWORD creationFlags, CtagsRun& run,
               CountedString& status) {
    CtagsProcess created;
    const bool reads = command.readsErrors && run.errors.Open();
    const DWORD error = StartCtags(run.program, StartedLine(command, run.program),
                                   command.runFolder, creationFlags | CREATE_SUSPENDED,
                                   reads ? run.errors.WriteEnd() : nullptr, created);
    if (error != ERROR_SUCCESS) {
        Reason reason;
        WindowsReason(error, reason,
                      (run.program.IsEmpty() ? command.execPath : run.program).Chars());
        return Refuse(command, IDS_COULD_NOT_RUN, &reason, run, status);
    }
    run.errors.Started();
    run.process = std::move(created.process);
    run.thread = std::move(created.thread);
    return true;
}

void ResumeRun(CtagsRun& run) {
    // In its job before it runs, so that nothing it starts escapes it.
    run.job = JobFor(run.process.Get(), run.jobPort);
    run.errors.AttachTo(run.jobPort.Get());
    run.disk.Start();
    if (ResumeThread(run.thread.Get()) == static_cast<DWORD>(-1)) {
        TerminateProcess(run.process.Get(), 1);
    }
    run.thread.Reset();
}

namespace {

// Waits once, up to `ms`, for the run to end or ctags's error stream to
// have something: true once every process of its job has ended, or ctags
// where it has none.
bool WaitOnce(const CtagsRun& run, DWORD ms) {
    const HANDLE stream = run.errors.Event();
    if (!run.job) {
        const HANDLE handles[] = {run.process.Get(), stream};
        return WaitForMultipleObjects(stream != nullptr ? 2 : 1, handles, FALSE, ms) ==
               WAIT_OBJECT_0;
    }
    if (JobHasEnded(run.job.Get(), run.process.Get())) {
        return true;
    }
    if (run.jobPort && (stream == nullptr || run.errors.OnPort())) {
        // Any report of the job, or a read of the error stream, wakes it;
        // the count decides, as a report may be lost.
        DWORD report = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED overlapped = nullptr;
        GetQueuedCompletionStatus(run.jobPort.Get(), &report, &key, &overlapped, ms);
    } else if (stream != nullptr) {
        WaitForSingleObject(stream, ms);
    } else {
        Sleep(ms);
    }
    return JobHasEnded(run.job.Get(), run.process.Get());
}

// Waits up to `ms` for the run to end, taking what ctags writes to its error
// stream meanwhile: true once every process of its job has ended, or ctags
// where it has none.
bool WaitForEnd(CtagsRun& run, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        run.errors.Collect();
        const DWORD passed = GetTickCount() - start;
        if (WaitOnce(run, passed < ms ? ms - passed : 0)) {
            return true;
        }
        if (GetTickCount() - start >= ms) {
            return false;
        }
    }
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
    run.errors.Finish();
    const bool exitRead = GetExitCodeProcess(run.process.Get(), &run.exitCode);
    run.endError = exitRead ? 0 : GetLastError();
    const bool exitedWell = !stopped && exitRead && run.exitCode == 0;
    run.process.Reset();
    run.job.Reset();
    run.jobPort.Reset();
    const bool kept =
        KeepOutput(run.output, run.temporary, exitedWell, patienceMs, waits.pause, &run.endError);
    run.lock.Reset();
    return stopped ? RunEnd::Stopped : kept ? RunEnd::Ran : RunEnd::Failed;
}

EndTexts FormatEndTexts(const char* name) {
    EndTexts texts;
    FormatResource(texts.ran, IDS_RAN, name);
    FormatResource(texts.ranWithError, IDS_RAN_WITH_ERROR, name);
    // Room for the reason in parentheses, so that it needs no allocation.
    texts.ranWithError.GetBuffer(texts.ranWithError.Length() + sizeof(Reason));
    FormatResource(texts.stopped, IDS_STOPPED_DISK_FULL, name);
    FormatResource(texts.couldNotRun, IDS_COULD_NOT_RUN, name);
    texts.couldNotRun.GetBuffer(texts.couldNotRun.Length() + sizeof(Reason));
    return texts;
}

const CountedString& EndText(EndTexts& texts, RunEnd end, const CtagsRun& run) {
    if (end == RunEnd::NotStarted) {
        Reason reason;
        WindowsReason(run.endError, reason);
        AppendReason(texts.couldNotRun, reason);
        BeepFor(IDS_COULD_NOT_RUN);
        return texts.couldNotRun;
    }
    const UINT id = end == RunEnd::Ran       ? IDS_RAN
                    : end == RunEnd::Stopped ? IDS_STOPPED_DISK_FULL
                                             : IDS_RAN_WITH_ERROR;
    if (id == IDS_RAN_WITH_ERROR) {
        Reason reason;
        if (run.endError != 0) {
            WindowsReason(run.endError, reason);
        } else if (!run.errors.LastMessage(reason)) {
            ExitCodeReason(run.exitCode, reason);
        }
        AppendReason(texts.ranWithError, reason);
    }
    BeepFor(id);
    return id == IDS_RAN                 ? texts.ran
           : id == IDS_STOPPED_DISK_FULL ? texts.stopped
                                         : texts.ranWithError;
}

} // namespace kestrel
