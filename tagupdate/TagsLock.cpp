#include "tagupdate/TagsLock.h"

#include <string>

#include "tagupdate/Paths.h"

namespace kestrel {
namespace {

// A scanner may hold the lock file for a moment, the last run's marked for
// removal or the file just made: that is waited for, briefly.
constexpr DWORD kMomentMs = 500;
constexpr DWORD kRetryPauseMs = 20;

HANDLE OpenLock(const CountedString& lockPath, DWORD access, DWORD sharing, DWORD disposition,
                DWORD flags) {
    HANDLE file = INVALID_HANDLE_VALUE;
    if (FitsPathLimit(lockPath)) {
        file = CreateFileA(lockPath.Chars(), access, sharing, nullptr, disposition, flags, nullptr);
    } else {
        const std::wstring longForm = LongFormOf(lockPath);
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        if (!longForm.empty()) {
            file = CreateFileW(longForm.c_str(), access, sharing, nullptr, disposition, flags,
                               nullptr);
        }
    }
    return file;
}

// Whether a lock that failed with `error` may be had in a moment: the file
// is marked for removal (error 5), or held by a program that shares it with
// every other, as a scanner does; another run's lock shares it with none.
bool HeldForAMoment(const CountedString& lockPath, DWORD error) {
    if (error == ERROR_ACCESS_DENIED) {
        return true;
    }
    if (error != ERROR_SHARING_VIOLATION) {
        return false;
    }
    const UniqueFile probe(OpenLock(lockPath, GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    OPEN_EXISTING, 0));
    return probe || GetLastError() != ERROR_SHARING_VIOLATION;
}

} // namespace

DWORD LockTagsFile(const CountedString& lockPath, UniqueFile& lock) {
    if (lockPath.IsEmpty()) {
        return ERROR_SUCCESS;
    }
    const DWORD start = GetTickCount();
    for (;;) {
        HANDLE file = OpenLock(lockPath, GENERIC_WRITE, 0, OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE);
        const DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        lock.Reset(file);
        if (error == ERROR_SUCCESS || GetTickCount() - start >= kMomentMs ||
            !HeldForAMoment(lockPath, error)) {
            return error;
        }
        Sleep(kRetryPauseMs);
    }
}

} // namespace kestrel
