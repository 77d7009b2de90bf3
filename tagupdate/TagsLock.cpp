#include "tagupdate/TagsLock.h"

#include <string>

#include "tagupdate/FreshFile.h"
#include "tagupdate/Paths.h"

namespace kestrel {
namespace {

// Whether a lock name that could not be replaced is a file that nothing but
// its holder keeps in place: not a folder, not read-only.
bool IsHeldLock(const CountedString& lockPath) {
    const std::wstring longForm = LongFormOf(lockPath);
    const DWORD attributes =
        longForm.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(longForm.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

} // namespace

DWORD LockTagsFile(const CountedString& lockPath, UniqueFile& lock) {
    lock.Reset();
    if (lockPath.IsEmpty()) {
        return ERROR_SUCCESS;
    }
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

} // namespace kestrel
