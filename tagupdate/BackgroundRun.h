// ctags run in the background, watched by a thread of the plug-in's own.
#pragma once

#include <windows.h>

#include "tagupdate/CtagsRun.h"
#include "text/CountedString.h"

namespace kestrel {

// Starts ctags at idle priority and hands it to the completion watcher;
// returns at once with the status text to show: running, or could not run.
// The caller has found no background run in progress.
CountedString RunInBackground(const CtagsCommand& command, DWORD creationFlags, HWND hwnd);

// Thread function: ends the run it is given (a WatchedRun, which it owns),
// reports the end to the window in the running marker, then clears it.
DWORD WINAPI CompletionWatcher(void* watchedRun);

} // namespace kestrel
