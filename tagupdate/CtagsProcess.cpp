#include "tagupdate/CtagsProcess.h"

#include <memory>

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

namespace {

// The list of the one handle a process inherits, deleted with its owner.
class InheritedHandles {
public:
    // Empty where the list cannot be made; `handle` must outlive it.
    explicit InheritedHandles(const HANDLE& handle) {
        if (handle == nullptr) {
            return;
        }
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_bytes.reset(new char[size]);
        auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_bytes.get());
        if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            m_bytes.reset();
            return;
        }
        m_list = list;
        if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                       const_cast<HANDLE*>(&handle), sizeof handle, nullptr,
                                       nullptr)) {
            Delete();
        }
    }
    ~InheritedHandles() { Delete(); }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;

    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return m_list; }

private:
    void Delete() {
        if (m_list != nullptr) {
            DeleteProcThreadAttributeList(m_list);
            m_list = nullptr;
        }
    }

    std::unique_ptr<char[]> m_bytes;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
};

} // namespace

DWORD StartCtags(const CountedString& program, const CountedString& commandLine,
                 const CountedString& runFolder, DWORD creationFlags, HANDLE errors,
                 CtagsProcess& started) {
    STARTUPINFOEXA startup = {};
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    PROCESS_INFORMATION info = {};
    // Only the error stream is handed down: none of the editor's other
    // handles that happen to be inheritable.
    const InheritedHandles inherited(errors);
    const bool redirected = errors != nullptr && inherited.Get() != nullptr;
    if (redirected) {
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdError = errors;
        startup.lpAttributeList = inherited.Get();
        creationFlags |= EXTENDED_STARTUPINFO_PRESENT;
    }

    // CreateProcessA may write into its command line: hand it a private copy.
    CountedString writable = commandLine;
    const CountedString directory = CurrentDirectoryFor(runFolder);
    if (!CreateProcessA(program.IsEmpty() ? nullptr : program.Chars(),
                        writable.GetBuffer(kCommandLineRoom), nullptr, nullptr, redirected,
                        creationFlags, nullptr, directory.Chars(), &startup.StartupInfo, &info)) {
        return GetLastError();
    }
    started.process.Reset(info.hProcess);
    started.thread.Reset(info.hThread);
    return ERROR_SUCCESS;
}

} // namespace kestrel
