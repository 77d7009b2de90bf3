#include "tagupdate/TagsLock.h"

namespace kestrel {

bool LockTagsFile(const CountedString& lockPath, UniqueFile& lock) {
    if (lockPath.IsEmpty()) {
        return true;
    }
    lock.Reset(CreateFileA(lockPath.Chars(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return lock || GetLastError() != ERROR_SHARING_VIOLATION;
}

} // namespace kestrel
