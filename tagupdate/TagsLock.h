// One run at a time for each tags file, across every editor process.
#pragma once

#include <windows.h>

#include "plugin/UniqueAny.h"
#include "text/CountedString.h"

namespace kestrel {

// Takes the lock at lockPath: a file beside the tags file that no other
// handle may open and that goes with its last handle, so a lock is never
// left behind, not even by an editor that dies. A path too long for the
// ANSI functions is opened in its long form. Returns 0 with the lock in
// `lock` (or with `lock` empty for an empty lockPath: the tags file has no
// path of its own); ERROR_SHARING_VIOLATION when another run holds it;
// another error when it cannot be made: a folder of that name, a file of
// that name that cannot be opened, a folder where no file can be created or
// where the user may not delete files (a file that goes with its last handle
// is opened with the right to delete it).
DWORD LockTagsFile(const CountedString& lockPath, UniqueFile& lock);

} // namespace kestrel
