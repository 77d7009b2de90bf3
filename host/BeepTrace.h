// Reports the plug-in's beeps, which Wine sends to the X bell where nobody
// can see them.
#pragma once

#include <windows.h>

namespace kestrel::host {

// Redirects `plugIn`'s import of MessageBeep so that every call first prints
// "beep: <type> thread=ui|other" (ui: on thread `uiThreadId`), then beeps.
// False if the plug-in does not import MessageBeep.
bool TraceBeeps(HMODULE plugIn, DWORD uiThreadId);

} // namespace kestrel::host
