#include "tests/host/ProcessRun.h"

#include <sstream>

#include "plugin/UniqueAny.h"

namespace kestrel::test {

ProcessResult RunAndCapture(const std::string& commandLine, const char* folder,
                            DWORD creationFlags) {
    static int serial = 0;
    const std::string outputPath = "K:\\output-" + std::to_string(++serial) + ".txt";
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    UniqueFile output(CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                  CREATE_ALWAYS, 0, nullptr));
    HANDLE errorCopy = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(),
                    &errorCopy, 0, TRUE, DUPLICATE_SAME_ACCESS);
    UniqueHandle error(errorCopy);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.Get();
    startup.hStdError = errorCopy;
    PROCESS_INFORMATION process = {};
    std::string writable = commandLine;
    ProcessResult result;
    // Wine now and then fails a start with ERROR_INTERNAL_ERROR, which
    // Windows never does: such a start is made again, at most three in all.
    for (int attempt = 1; output && attempt <= 3; ++attempt) {
        result.started = CreateProcessA(nullptr, &writable[0], nullptr, nullptr, TRUE,
                                        creationFlags, nullptr, folder, &startup, &process);
        if (result.started || GetLastError() != ERROR_INTERNAL_ERROR) {
            break;
        }
    }
    output.Reset();
    error.Reset();
    if (result.started) {
        const UniqueHandle thread(process.hThread);
        const UniqueHandle child(process.hProcess);
        WaitForSingleObject(child.Get(), INFINITE);
        GetExitCodeProcess(child.Get(), &result.exitCode);
    }
    std::istringstream text(FileContents(outputPath));
    for (std::string line; std::getline(text, line);) {
        line.erase(line.find_last_not_of('\r') + 1);
        result.lines.push_back(line);
    }
    DeleteFileA(outputPath.c_str());
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
