// One run at a time for each tags file, across every editor process.
#pragma once

#include <windows.h>

#include "plugin/UniqueAny.h"
#include "text/CountedString.h"

namespace kestrel {

// Takes the lock at lockPath: a file beside the tags file that no other
// handle may open and that goes with its last handle, so a lock is never
// left behind, not even by an editor that dies. The lock is always a file
// made anew: a name already there (a lock left behind, a link) is replaced,
// never opened or deleted, so a link's target stays as it is. A path too
// long for the ANSI functions is made in its long form. Returns 0 with the
// lock in `lock` (or with `lock` empty for an empty lockPath: the tags file
// has no path of its own); ERROR_SHARING_VIOLATION when another run holds
// it, or is taking it at this moment; another error when it cannot be made:
// a folder or a read-only file of that name, a folder where no file can be
// created or where the user may not delete files (a file that goes with its
// last handle is made with the right to delete it).
// A lock file that a scanner may be holding (marked for removal, or shared
// with every other program) is tried again for a moment first.
DWORD LockTagsFile(const CountedString& lockPath, UniqueFile& lock);

} // namespace kestrel
