// Starting the ctags process in the run folder.
#pragma once

#include <windows.h>

#include "plugin/UniqueAny.h"
#include "text/CountedString.h"

namespace kestrel {

struct CtagsProcess {
    UniqueHandle process;
    UniqueHandle thread;
};

// Starts the command line with runFolder as the current directory: the
// program is `program`, or when that is empty, the one the command line
// names. The command line is never cut, however long. False when
// CreateProcessA fails.
bool StartCtags(const CountedString& program, const CountedString& commandLine,
                const CountedString& runFolder, DWORD creationFlags, CtagsProcess& started);

// The folder a process should start in: a bare drive designator ("K:") means
// that drive's root, not whatever folder the process last used on it.
CountedString CurrentDirectoryFor(const CountedString& runFolder);

} // namespace kestrel
