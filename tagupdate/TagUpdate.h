// The tag update command: from the editor's call to the finished ctags run.
#pragma once

#include <windows.h>

#include "settings/Settings.h"
#include "text/CountedString.h"

namespace kestrel {

// Runs the command for the editor window hwnd. Every outcome reaches the user
// through the status text (and a beep for a failed run or a refused start).
void RunTagUpdate(const Settings& settings, HWND hwnd);

// Asks the editor for the active document's path: empty unless the answer
// names an existing file (a new document has none, a cut one may name a
// folder or nothing).
CountedString GetDocumentPath(HWND hwnd);

} // namespace kestrel
