// Paths as texts: joining a name to a folder, telling a path that stands on
// its own, and what kind of object a path names.
#pragma once

#include "text/CountedString.h"

namespace kestrel {

// `name` inside `folder`, with one backslash between them also when the
// folder ends in one (a drive root as the browser gives it, "K:\").
CountedString PathIn(const CountedString& folder, const CountedString& name);

// The text before the path's last backslash; empty if it has none.
CountedString DirectoryOf(const CountedString& path);

// X:\... or \\server\share\... (either slash): a path that means the same
// whatever the current folder and drive.
bool IsAbsolutePath(const char* path);

// For \\server\share\..., the length of \\server\share, the top of that
// path; 0 for every other path.
int ShareRootLength(const char* path);

// Whether the file functions take the path: shorter than MAX_PATH.
bool FitsPathLimit(const CountedString& path);

// Whether `path` names an existing file, or an existing folder.
bool IsFile(const CountedString& path);
bool IsFolder(const CountedString& path);

} // namespace kestrel
