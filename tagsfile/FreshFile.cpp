#include "tagsfile/FreshFile.h"

#include <string>
#include <utility>
#include <vector>

#include "tagupdate/Paths.h"

namespace kestrel {
namespace {

constexpr char kFreshSuffix[] = "-new";

} // namespace

std::vector<char> RenameTo(const CountedString& path) {
    // The rename takes a full path in the native form, \??\X:\... (a bare
    // name would be taken from the current folder).
    const std::wstring longForm = LongFormOf(path);
    if (longForm.compare(0, 4, L"\\\\?\\") != 0) {
        return std::vector<char>();
    }
    const std::wstring native = L"\\??\\" + longForm.substr(4);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + sizeof(WCHAR) * native.size());
    FILE_RENAME_INFO* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(sizeof(WCHAR) * native.size());
    native.copy(rename->FileName, native.size());
    return buffer;
}

bool RenameOnto(HANDLE file, std::vector<char>& rename) {
    if (rename.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    return SetFileInformationByHandle(file, FileRenameInfo, rename.data(),
                                      static_cast<DWORD>(rename.size())) != FALSE;
}

DWORD EntryAttributes(const CountedString& path) {
    HANDLE found = INVALID_HANDLE_VALUE;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (FitsPathLimit(path)) {
        WIN32_FIND_DATAA entry;
        found = FindFirstFileA(path.Chars(), &entry);
        attributes = entry.dwFileAttributes;
    } else {
        const std::wstring longForm = LongFormOf(path);
        WIN32_FIND_DATAW entry;
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        if (!longForm.empty()) {
            found = FindFirstFileW(longForm.c_str(), &entry);
            attributes = entry.dwFileAttributes;
        }
    }
    if (found == INVALID_HANDLE_VALUE) {
        return INVALID_FILE_ATTRIBUTES;
    }
    FindClose(found);
    return attributes;
}

bool NameIsFree(const CountedString& path) {
    return EntryAttributes(path) == INVALID_FILE_ATTRIBUTES &&
           GetLastError() == ERROR_FILE_NOT_FOUND;
}

DWORD CreateFreshFile(const CountedString& path, UniqueFile& file) {
    const HANDLE created =
        OpenAtAnyLength(path, GENERIC_WRITE | DELETE, 0, CREATE_NEW,
                        FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT);
    const DWORD error = created == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    file.Reset(created);
    return error;
}

DWORD TakeName(const CountedString& path, UniqueFile& file) {
    UniqueFile fresh;
    const DWORD created = CreateFreshFile(path + kFreshSuffix, fresh);
    if (created != ERROR_SUCCESS) {
        return created == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : created;
    }
    std::vector<char> rename = RenameTo(path);
    if (!RenameOnto(fresh.Get(), rename)) {
        return GetLastError(); // the fresh file goes as `fresh` closes
    }
    file = std::move(fresh);
    return ERROR_SUCCESS;
}

} // namespace kestrel
