#include "tagupdate/CtagsProcess.h"

#include "tagupdate/Paths.h"

namespace kestrel {
namespace {

constexpr int kCommandLineRoom = 2048;

} // namespace

CountedString CurrentDirectoryFor(const CountedString& runFolder) {
    return IsBareDrive(runFolder.Chars()) ? runFolder + "\\" : runFolder;
}

UniqueHandle JobFor(HANDLE process, UniqueHandle& port) {
    UniqueHandle job(CreateJobObjectA(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job || !SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                                         sizeof limits)) {
        return UniqueHandle();
    }
    port.Reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT reports = {job.Get(), port.Get()};
    if (port && !SetInformationJobObject(job.Get(), JobObjectAssociateCompletionPortInformation,
                                         &reports, sizeof reports)) {
        port.Reset();
    }
    if (!AssignProcessToJobObject(job.Get(), process)) {
        port.Reset();
        return UniqueHandle();
    }
    return job;
}

bool JobHasEnded(HANDLE job, HANDLE process) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                   sizeof accounting, nullptr)) {
        return WaitForSingleObject(process, 0) != WAIT_TIMEOUT;
    }
    return accounting.ActiveProcesses == 0;
}

bool StartCtags(const CountedString& program, const CountedString& commandLine,
                const CountedString& runFolder, DWORD creationFlags, CtagsProcess& started) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};

    // CreateProcessA may write into its command line: hand it a private copy.
    CountedString writable = commandLine;
    const CountedString directory = CurrentDirectoryFor(runFolder);
    if (!CreateProcessA(program.IsEmpty() ? nullptr : program.Chars(),
                        writable.GetBuffer(kCommandLineRoom), nullptr, nullptr, FALSE,
                        creationFlags, nullptr, directory.Chars(), &startup, &info)) {
        return false;
    }
    started.process.Reset(info.hProcess);
    started.thread.Reset(info.hThread);
    return true;
}

} // namespace kestrel
