// ctags run on the editor's thread, which waits until it has ended.
#pragma once

#include <windows.h>

#include "tagupdate/CtagsRun.h"
#include "text/CountedString.h"

namespace kestrel {

// Announces the running process and returns the final status text: ran,
// ran with an error (after a beep), or could not run.
CountedString RunSynchronously(const CtagsCommand& command, DWORD creationFlags, HWND hwnd);

} // namespace kestrel
