#include "tests/host/ProcessRun.h"

namespace kestrel::test {

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

HANDLE InheritableCopy(HANDLE handle) {
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                    DUPLICATE_SAME_ACCESS);
    return copy;
}

} // namespace

ProcessResult RunAndCapture(const std::string& commandLine, const char* folder,
                            DWORD creationFlags) {
    ProcessResult result;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        return result;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE errorCopy = InheritableCopy(GetStdHandle(STD_ERROR_HANDLE));

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = writeEnd;
    startup.hStdError = errorCopy;
    PROCESS_INFORMATION process = {};
    std::string writable = commandLine;
    result.started = CreateProcessA(nullptr, &writable[0], nullptr, nullptr, TRUE, creationFlags,
                                    nullptr, folder, &startup, &process) != FALSE;
    // Only the child holds the write end now: reading ends when it ends.
    CloseHandle(writeEnd);
    if (errorCopy != nullptr) {
        CloseHandle(errorCopy);
    }
    std::string output;
    if (result.started) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            output.append(buffer, got);
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &result.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    result.lines = SplitLines(output);
    return result;
}

} // namespace kestrel::test
