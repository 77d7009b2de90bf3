#include "tests/host/ProcessRun.h"

#include <sstream>

#include "plugin/UniqueAny.h"

namespace kestrel::test {

ProcessResult RunAndCapture(const std::string& commandLine, const char* folder,
                            DWORD creationFlags) {
    ProcessResult result;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        return result;
    }
    const UniqueHandle reader(readEnd);
    UniqueHandle writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE errorCopy = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(),
                    &errorCopy, 0, TRUE, DUPLICATE_SAME_ACCESS);
    UniqueHandle error(errorCopy);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = errorCopy;
    PROCESS_INFORMATION process = {};
    std::string writable = commandLine;
    result.started = CreateProcessA(nullptr, &writable[0], nullptr, nullptr, TRUE, creationFlags,
                                    nullptr, folder, &startup, &process) != FALSE;
    // Only the child holds the write end now: reading ends when it ends.
    writer.Reset();
    error.Reset();
    if (!result.started) {
        return result;
    }
    const UniqueHandle thread(process.hThread);
    const UniqueHandle child(process.hProcess);
    std::string output;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        output.append(buffer, got);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    std::istringstream text(output);
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        result.lines.push_back(line);
    }
    return result;
}

Lines Only(const Lines& lines, const std::string& prefix, bool keep) {
    Lines kept;
    for (const std::string& line : lines) {
        if ((line.compare(0, prefix.size(), prefix) == 0) == keep) {
            kept.push_back(line);
        }
    }
    return kept;
}

} // namespace kestrel::test
