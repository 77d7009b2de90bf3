#include "tests/support/Sandbox.h"

#include <windows.h>
#include <tlhelp32.h>

#include <fstream>
#include <iterator>

namespace kestrel::test {

namespace {

// Lists `folder` once. Wine's folder browser selects a folder only when no
// folder on its path has changed since it was last listed.
void List(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        FindClose(find);
    }
}

// Where the folders of `path` end, below the drive's root. Split by
// characters: a double-byte character may end in 0x5C.
std::vector<size_t> FolderEnds(const std::string& path) {
    std::vector<size_t> ends;
    for (const char* p = path.c_str(); *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\' && p - path.c_str() > 2) {
            ends.push_back(static_cast<size_t>(p - path.c_str()));
        }
    }
    return ends;
}

// A path past the ANSI functions' limit, as the wide ones take it; empty for
// a path within it.
std::wstring LongForm(const std::string& path) {
    wchar_t wide[1024] = L"\\\\?\\";
    return MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide + 4, 1000) > MAX_PATH ? wide : L"";
}

} // namespace

void MakeFolders(const std::string& path) {
    std::vector<size_t> ends = FolderEnds(path);
    ends.push_back(path.size());
    for (size_t end : ends) {
        CreateDirectoryA(path.substr(0, end).c_str(), nullptr);
    }
    // Each folder changes when the next one is made in it: list them after.
    for (size_t end : ends) {
        List(path.substr(0, end));
    }
}

void MakeFile(const std::string& path, const std::string& contents) {
    const std::vector<size_t> ends = FolderEnds(path);
    if (!ends.empty()) {
        MakeFolders(path.substr(0, ends.back()));
    }
    const std::wstring longForm = LongForm(path);
    (longForm.empty() ? std::ofstream(path, std::ios::binary)
                      : std::ofstream(longForm.c_str(), std::ios::binary))
        << contents;
    if (!ends.empty()) {
        List(path.substr(0, ends.back()));
    }
}

std::string FileContents(const std::string& path) {
    const std::wstring longForm = LongForm(path);
    std::ifstream file = longForm.empty() ? std::ifstream(path, std::ios::binary)
                                          : std::ifstream(longForm.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void RemoveFile(const std::string& path) {
    if (!DeleteFileA(path.c_str())) {
        RemoveDirectoryA(path.c_str());
    }
}

bool Exists(const std::string& path) {
    const std::wstring longForm = LongForm(path);
    return (longForm.empty() ? GetFileAttributesA(path.c_str())
                             : GetFileAttributesW(longForm.c_str())) != INVALID_FILE_ATTRIBUTES;
}

bool MakeUnixLink(const std::string& target, const std::string& link) {
    const size_t separator = link.rfind('\\');
    std::string command = "Z:\\bin\\ln -s " + target + " " + link.substr(separator + 1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        link.substr(0, separator).c_str(), &startup, &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess); // a Linux program's end cannot be waited for
    for (const ULONGLONG end = GetTickCount64() + 30000; GetTickCount64() < end; Sleep(20)) {
        if (Exists(link)) {
            return true;
        }
    }
    return false;
}

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of('\\'));
}

std::string FakeCtagsPath() {
    return ProgramFolder() + "\\FakeCtags.exe";
}

std::string StartFakeCtagsRecord() {
    static int serial = 0;
    const std::string path = "K:\\fake-ctags-" + std::to_string(++serial) + ".txt";
    DeleteFileA(path.c_str());
    SetEnvironmentVariableA("KESTREL_FAKE_CTAGS_RECORD", path.c_str());
    return path;
}

std::vector<FakeCtagsRecord> ReadFakeCtagsRecords(const std::string& path) {
    std::vector<FakeCtagsRecord> records;
    std::ifstream file(path, std::ios::binary);
    FakeCtagsRecord current;
    for (std::string line; std::getline(file, line);) {
        line.erase(line.find_last_not_of('\r') + 1);
        if (line == "end") {
            records.push_back(std::move(current));
            current.clear();
        } else if (const size_t colon = line.find(": "); colon != std::string::npos) {
            current[line.substr(0, colon)] = line.substr(colon + 2);
        }
    }
    return records;
}

bool IsRunning(const char* program) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found;
         more = Process32Next(snapshot, &entry)) {
        found = lstrcmpiA(entry.szExeFile, program) == 0;
    }
    CloseHandle(snapshot);
    return found;
}

} // namespace kestrel::test
