// The upward search for the folder that holds the tags file.
#pragma once

#include "text/CountedString.h"

namespace kestrel {

// The nearest folder above `path` that holds an object named `name` (a file
// or a folder), without a trailing backslash; empty if there is none, or if a
// candidate is too long for the file functions to check.
CountedString FindTagsFolder(const CountedString& path, const CountedString& name);

// The text before the path's last backslash; empty if it has none.
CountedString DirectoryOf(const CountedString& path);

} // namespace kestrel
