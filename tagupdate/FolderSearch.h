// The upward search for the folder that holds the tags file.
#pragma once

#include "text/CountedString.h"

namespace kestrel {

// The nearest folder above `path` that holds an object named `name` (a file
// or a folder), without a trailing backslash; empty if there is none, or if a
// candidate is too long for the file functions to check, or if `name` is
// relative to a drive or its root (\tags, D:tags), which no folder holds.
// On a network share the search ends at the share's root.
CountedString FindTagsFolder(const CountedString& path, const CountedString& name);

} // namespace kestrel
