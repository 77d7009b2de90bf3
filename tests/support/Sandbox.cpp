#include "tests/support/Sandbox.h"

#include <windows.h>

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

// A path too long for the ANSI file functions, in the form the wide ones
// take at any length; empty for a path that fits.
std::wstring LongForm(const std::string& path) {
    if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0) <= MAX_PATH) {
        return std::wstring();
    }
    wchar_t wide[1024] = L"\\\\?\\";
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide + 4, 1000);
    return wide;
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
    if (const std::wstring longForm = LongForm(path); !longForm.empty()) {
        HANDLE file =
            CreateFileW(longForm.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
        CloseHandle(file);
    } else {
        std::ofstream(path, std::ios::binary) << contents;
    }
    if (!ends.empty()) {
        List(path.substr(0, ends.back()));
    }
}

std::string FileContents(const std::string& path) {
    if (const std::wstring longForm = LongForm(path); !longForm.empty()) {
        HANDLE file = CreateFileW(longForm.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        std::string contents(4096, '\0');
        DWORD read = 0;
        if (file == INVALID_HANDLE_VALUE ||
            !ReadFile(file, &contents[0], static_cast<DWORD>(contents.size()), &read, nullptr)) {
            read = 0;
        }
        CloseHandle(file);
        return contents.substr(0, read);
    }
    std::ifstream file(path, std::ios::binary);
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

} // namespace kestrel::test
