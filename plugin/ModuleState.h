// State that lives as long as the library is loaded. Nothing else in the
// plug-in is global.
#pragma once

#include <windows.h>

#include "text/CountedString.h"

namespace kestrel {

// The plug-in's own module: every string, bitmap and dialog comes from it.
// The library entry point sets it; a test program sets its own.
HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

// The value of the last event 0x400, sent back on event 0x40.
LPARAM RememberedEventValue();
void RememberEventValue(LPARAM value);

// Host window of the background run in progress, null when none runs. Set on
// the host's thread before the completion watcher starts, cleared by the
// watcher after the host has handled its completion text.
HWND RunningMarker();
void SetRunningMarker(HWND hwnd);
void ClearRunningMarker();

// Whether a command is under way on the editor's thread: from its start
// until it returns to the editor, whichever road it takes. A command that
// starts meanwhile (from a message the first one serves) finds it set.
bool CommandUnderWay();
void SetCommandUnderWay(bool underWay);

// The ctags process on which the completion watcher waits, while it waits.
void SetWatcherProcess(HANDLE process);
void ClearWatcherProcess();

// Keeps `text`, the command's first status message, until the next one.
void KeepLastStatusText(const CountedString& text);

} // namespace kestrel
