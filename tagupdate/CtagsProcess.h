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

// A job object that ends every process in it when it is closed, with
// `process` in it, so that what ctags starts (a wrapper's ctags) ends with
// it; null where none can be made (the editor in a job that allows no
// other), and the process is then on its own. `port` gets the job's reports
// (a process started or ended in it, none left), null where the job cannot
// give them.
UniqueHandle JobFor(HANDLE process, UniqueHandle& port);

// Whether no process is left in `job`; where the job cannot tell, whether
// `process` has ended.
bool JobHasEnded(HANDLE job, HANDLE process);

// The folder a process should start in: a bare drive designator ("K:") means
// that drive's root, not whatever folder the process last used on it.
CountedString CurrentDirectoryFor(const CountedString& runFolder);

} // namespace kestrel
