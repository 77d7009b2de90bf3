#include "tagupdate/CtagsExcludes.h"

#include <windows.h>

#include <cstring>

#include "plugin/UniqueAny.h"
#include "tagupdate/CtagsProcess.h"

namespace kestrel {
namespace {

// ctags compares names upper-cased, with its patterns' backslashes turned
// into forward slashes (--list-excludes shows them so).
char Folded(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c == '\\' ? '/' : c;
}

// What ctags writes on its standard output for `commandLine`, run in
// runFolder with its errors thrown away. False when it cannot be started or
// ends with an error.
bool CaptureOutput(const CountedString& program, const CountedString& commandLine,
                   const CountedString& runFolder, std::string& output) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        return false;
    }
    UniqueHandle reader(readEnd);
    UniqueHandle writer(writeEnd);
    SetHandleInformation(reader.Get(), HANDLE_FLAG_INHERIT, 0);
    UniqueFile nul(CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inheritable, OPEN_EXISTING, 0, nullptr));
    if (!nul) {
        return false;
    }
    // ctags inherits these two handles and no other.
    HANDLE inherited[] = {writer.Get(), nul.Get()};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::string attributes(size, '\0');
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(&attributes[0]);
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) {
        return false;
    }
    const bool listed = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                                  inherited, sizeof inherited, nullptr, nullptr);
    STARTUPINFOEXA startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = nul.Get();
    startup.StartupInfo.hStdOutput = writer.Get();
    startup.StartupInfo.hStdError = nul.Get();
    startup.lpAttributeList = list;
    PROCESS_INFORMATION info = {};
    CountedString writable = commandLine;
    const CountedString directory = CurrentDirectoryFor(runFolder);
    const BOOL started =
        listed && CreateProcessA(program.Chars(), writable.GetBuffer(2048), nullptr, nullptr, TRUE,
                                 DETACHED_PROCESS | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                                 directory.Chars(), &startup.StartupInfo, &info);
    DeleteProcThreadAttributeList(list);
    if (!started) {
        return false;
    }
    const UniqueHandle process(info.hProcess);
    CloseHandle(info.hThread);
    // Its end of the pipe is the only one left open: reading ends with it.
    writer.Reset();
    nul.Reset();
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(reader.Get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
        output.append(chunk, read);
    }
    DWORD exitCode = 1;
    return WaitForSingleObject(process.Get(), INFINITE) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(process.Get(), &exitCode) && exitCode == 0;
}

bool MatchableByUs(const std::string& pattern) {
    for (const char c : pattern) {
        if (c == '[' || static_cast<unsigned char>(c) >= 0x80 || c < ' ') {
            return false;
        }
    }
    return !pattern.empty();
}

} // namespace

bool MatchesFolded(const char* pattern, const char* name) {
    // The last '*' met and where the name stood then: a mismatch after it
    // lets that star take one more character.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            star = ++pattern;
            resume = name;
        } else if (*pattern != '\0' && (*pattern == '?' || Folded(*pattern) == Folded(*name))) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') {
        ++pattern;
    }
    return *pattern == '\0';
}

bool CtagsExcludes::Read(const CountedString& program, const CountedString& options,
                         const CountedString& runFolder) {
    m_patterns.clear();
    m_listed.clear();
    const CountedString commandLine =
        CountedString("\"") + program + "\" " + options + " --list-excludes";
    std::string output;
    return CaptureOutput(program, commandLine, runFolder, output) && ReadListed(output);
}

bool CtagsExcludes::ReadListed(const std::string& output) {
    m_patterns.clear();
    m_listed.clear();
    // A first line "#NAME" heads the list; every other line is a pattern.
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        end = end == std::string::npos ? output.size() : end;
        std::string line = output.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line == "#NAME") {
            continue;
        }
        if (!MatchableByUs(line)) {
            return false;
        }
        m_listed += line + "\n";
        for (char& c : line) {
            c = Folded(c);
        }
        m_patterns.push_back(std::move(line));
    }
    return true;
}

bool CtagsExcludes::Excludes(const char* relativeName) const {
    // ctags splits the name at its last backslash byte, as the walk gives
    // it no name whose double-byte characters end in one.
    const char* last = std::strrchr(relativeName, '\\');
    const char* base = last == nullptr ? relativeName : last + 1;
    for (const std::string& pattern : m_patterns) {
        if (MatchesFolded(pattern.c_str(), base) || MatchesFolded(pattern.c_str(), relativeName)) {
            return true;
        }
    }
    return false;
}

} // namespace kestrel
