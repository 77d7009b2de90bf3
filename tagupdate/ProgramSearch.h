// Finding the ctags program that ExecPath names without a folder.
#pragma once

#include "text/CountedString.h"

namespace kestrel {

// Whether the path names a folder (holds \, / or :); such a path is started
// as it stands.
bool HasFolderPart(const CountedString& path);

// The full path of the program `name`, with .exe added when the name has no
// extension, from the folder of the editor's executable, the system folder,
// the Windows folder or a PATH folder, in this order; never from the current
// folder, which is often one the user has just opened a file from. Empty
// when none of them holds it.
CountedString FindProgram(const CountedString& name);

} // namespace kestrel
