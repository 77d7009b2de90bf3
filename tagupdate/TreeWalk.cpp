#include "tagupdate/TreeWalk.h"

#include <algorithm>

#include "plugin/UniqueAny.h"
#include "tagupdate/Paths.h"

namespace kestrel {
namespace {

using UniqueFind = UniqueAny<HANDLE, &FindClose, -1>;

ULONGLONG Combined(DWORD high, DWORD low) {
    return (static_cast<ULONGLONG>(high) << 32) | low;
}

// The name in the ANSI code page; false when it has no exact form there, or
// holds a double-byte character whose second byte is a backslash, where
// ctags would cut it.
bool AnsiName(const wchar_t* wide, std::string& name) {
    BOOL usedDefault = FALSE;
    const int size =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return false;
    }
    name.assign(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, &name[0], size, nullptr,
                            &usedDefault) != size ||
        usedDefault) {
        return false;
    }
    name.pop_back();
    for (size_t i = 0; i < name.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(name[i])) && ++i < name.size() && name[i] == '\\') {
            return false;
        }
    }
    return true;
}

bool IsSkipped(const std::string& name, const std::vector<std::string>& skipped) {
    for (const std::string& skip : skipped) {
        if (lstrcmpiA(skip.c_str(), name.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

bool WalkTree(const CountedString& runFolder, const CtagsExcludes& excludes,
              const std::vector<std::string>& skipped, TreeWalk& walk) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    walk.startTime = Combined(now.dwHighDateTime, now.dwLowDateTime);
    walk.files.clear();
    walk.complete = true;
    std::wstring top = LongFormOf(runFolder);
    if (top.empty()) {
        return false;
    }
    if (top.back() != L'\\') {
        top += L'\\';
    }
    // Folders still to read, as relative names ("" is the run folder).
    std::vector<std::string> folders(1);
    bool first = true;
    while (!folders.empty()) {
        const std::string folder = std::move(folders.back());
        folders.pop_back();
        std::wstring pattern = top;
        if (!folder.empty()) {
            const int length = MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, nullptr, 0);
            std::wstring wide(static_cast<size_t>(length), L'\0');
            MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, &wide[0], length);
            wide.pop_back();
            pattern += wide + L"\\";
        }
        pattern += L"*";
        WIN32_FIND_DATAW found;
        const UniqueFind find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                               FindExSearchNameMatch, nullptr,
                                               FIND_FIRST_EX_LARGE_FETCH));
        if (!find) {
            if (first) {
                return false;
            }
            walk.complete = false;
            continue;
        }
        first = false;
        do {
            if (lstrcmpW(found.cFileName, L".") == 0 || lstrcmpW(found.cFileName, L"..") == 0) {
                continue;
            }
            std::string name;
            if (!AnsiName(found.cFileName, name) ||
                (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                walk.complete = false;
                continue;
            }
            name = folder.empty() ? name : folder + "\\" + name;
            if (excludes.Excludes(name.c_str())) {
                continue;
            }
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                folders.push_back(std::move(name));
            } else if (!IsSkipped(name, skipped)) {
                walk.files.push_back({std::move(name),
                                      Combined(found.nFileSizeHigh, found.nFileSizeLow),
                                      Combined(found.ftLastWriteTime.dwHighDateTime,
                                               found.ftLastWriteTime.dwLowDateTime)});
            }
        } while (FindNextFileW(find.Get(), &found));
        if (GetLastError() != ERROR_NO_MORE_FILES) {
            walk.complete = false;
        }
    }
    std::sort(walk.files.begin(), walk.files.end(),
              [](const WalkedFile& a, const WalkedFile& b) { return a.name < b.name; });
    return true;
}

} // namespace kestrel
