// ctags run on the editor's thread, which waits until it has ended.
#pragma once

#include <windows.h>

#include "settings/Settings.h"
#include "tagupdate/CtagsRun.h"
#include "text/CountedString.h"

namespace kestrel {

// Chooses the output for ctags run in runFolder and whether ctags runs on
// the whole tree or only on what changed (always the whole tree with
// shiftHeld), announces the running process and returns the final status
// text: ran, ran with an error or stopped (after a beep), or could not run.
CountedString RunSynchronously(const Settings& settings, const CountedString& commandLine,
                               const CountedString& runFolder, bool shiftHeld, DWORD creationFlags,
                               HWND hwnd);

} // namespace kestrel
