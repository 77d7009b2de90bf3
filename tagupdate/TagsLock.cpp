#include "tagupdate/TagsLock.h"

#include <string>

#include "tagupdate/Paths.h"

namespace kestrel {

DWORD LockTagsFile(const CountedString& lockPath, UniqueFile& lock) {
    if (lockPath.IsEmpty()) {
        return ERROR_SUCCESS;
    }
    HANDLE file = INVALID_HANDLE_VALUE;
    if (FitsPathLimit(lockPath)) {
        file = CreateFileA(lockPath.Chars(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    } else {
        const std::wstring longForm = LongFormOf(lockPath);
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        if (!longForm.empty()) {
            file = CreateFileW(longForm.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        }
    }
    const DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    lock.Reset(file);
    return error;
}

} // namespace kestrel
