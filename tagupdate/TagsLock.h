// One run at a time for each tags file, across every editor process.
#pragma once

#include "plugin/UniqueAny.h"
#include "text/CountedString.h"

namespace kestrel {

// Takes the lock at lockPath: a file beside the tags file that no other
// handle may open and that goes with its last handle, so a lock is never
// left behind, not even by an editor that dies. False when another run holds
// it. True otherwise: with the lock in `lock`, or with `lock` empty when none
// can be made here (no path, a folder where files cannot be created), and
// the run goes on without one.
bool LockTagsFile(const CountedString& lockPath, UniqueFile& lock);

} // namespace kestrel
