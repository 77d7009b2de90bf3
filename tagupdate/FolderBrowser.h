// The shell's folder browser, owned by the editor window.
#pragma once

#include <windows.h>

#include "text/CountedString.h"

namespace kestrel {

// Lets the user choose a file-system folder, preselecting `initial` when it
// is not empty. Empty when the user cancelled or the browser failed.
CountedString PickFolder(HWND hwnd, const CountedString& initial);

// Selects the initial folder (data, a path text, or null) once the browser
// has opened.
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM parameter, LPARAM data);

} // namespace kestrel
