// Finding the ctags program that ExecPath names without a full path.
#pragma once

#include "text/CountedString.h"

namespace kestrel {

// The program that ExecPath names, for CreateProcessA: empty for a full path,
// which stands as it is when the file is there (as named, or with .exe
// added); otherwise the full path found for it. A name relative to a drive
// (X:ctags.exe) is taken from that drive's root, one relative to a root
// (\tools\ctags.exe) from the root of the editor's drive.
// A bare name is looked for in the folder of the editor's executable, the
// system folder, the Windows folder and the absolute PATH folders, in this
// order; a folder-relative name (sub\ctags.exe) in the editor's folder only;
// .exe is added when the file name has no extension.
// Never in the current folder, which is often one the user has just opened a
// file from. False when the program is found nowhere.
bool FindProgramFor(const CountedString& execPath, CountedString& program);

} // namespace kestrel
