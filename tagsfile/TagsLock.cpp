#include "tagsfile/TagsLock.h"

#include <string>

#include "tagsfile/FreshFile.h"
#include "tagupdate/Paths.h"

namespace kestrel {
namespace {

// A scanner may hold the lock file for a moment, the last run's marked for
// removal or the file just made: that is waited for, briefly.
constexpr DWORD kMomentMs = 500;
constexpr DWORD kRetryPauseMs = 20;

// Whether a lock name that could not be replaced is a file that nothing but
// its holder keeps in place: not a folder, not read-only.
bool IsHeldLock(const CountedString& lockPath) {
    const std::wstring longForm = LongFormOf(lockPath);
    const DWORD attributes =
        longForm.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(longForm.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
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
    const UniqueFile probe(OpenAtAnyLength(lockPath, GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT));
    return probe || GetLastError() != ERROR_SHARING_VIOLATION;
}

// One try: a fresh lock file, made where the name is free or renamed onto
// what holds it.
DWORD TryLock(const CountedString& lockPath, UniqueFile& lock) {
    const DWORD created = CreateFreshFile(lockPath, lock);
    if (created != ERROR_FILE_EXISTS && created != ERROR_ALREADY_EXISTS) {
        return created;
    }
    // The name is taken: by another run's lock, or by a file or a link left
    // there, which a fresh lock replaces.
    const DWORD taken = TakeName(lockPath, lock);
    if (taken == ERROR_FILE_EXISTS ||
        ((taken == ERROR_ACCESS_DENIED || taken == ERROR_SHARING_VIOLATION) &&
         IsHeldLock(lockPath))) {
        return ERROR_SHARING_VIOLATION;
    }
    return taken;
}

} // namespace

DWORD LockTagsFile(const CountedString& lockPath, UniqueFile& lock) {
    lock.Reset();
    if (lockPath.IsEmpty()) {
        return ERROR_SUCCESS;
    }
    for (const DWORD start = GetTickCount();; Sleep(kRetryPauseMs)) {
        const DWORD error = TryLock(lockPath, lock);
        if (error == ERROR_SUCCESS || GetTickCount() - start >= kMomentMs ||
            !HeldForAMoment(lockPath, error)) {
            return error;
        }
    }
}

} // namespace kestrel
