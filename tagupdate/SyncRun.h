// ctags run on the editor's thread, which waits until it has ended.
#pragma once

#include <windows.h>

#include "settings/Settings.h"
#include "tagupdate/CtagsRun.h"
#include "text/CountedString.h"

namespace kestrel {

// Chooses the output for ctags run in runFolder, announces the running
// process and returns the final status text: ran, ran with an error or
// stopped (after a beep), or could not run.
CountedString RunSynchronously(const Settings& settings, const CountedString& commandLine,
                               const CountedString& runFolder, DWORD creationFlags, HWND hwnd);

} // namespace kestrel
