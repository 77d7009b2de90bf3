// Finding the ctags program that ExecPath names without a full path.
#pragma once

#include "text/CountedString.h"

namespace kestrel {

// Whether the path names a folder (holds \, / or :).
bool HasFolderPart(const CountedString& path);

// Whether the path has a folder part but is relative to the current folder
// (sub\ctags.exe, ..\bin\ctags.exe), not to a drive or its root.
bool IsFolderRelative(const CountedString& path);

// The full path of the program `name`, with .exe added when its file name
// has no extension. A bare name is looked for in the folder of the editor's
// executable, the system folder, the Windows folder and the absolute PATH
// folders, in this order; a folder-relative name in the editor's folder
// only. Never in the current folder, which is often one the user has just
// opened a file from. Empty when none of them holds it.
CountedString FindProgram(const CountedString& name);

} // namespace kestrel
