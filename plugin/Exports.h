// The functions the editor calls in Kestrel.dll.
//
// The editor loads the library, asks GetMenuTextID, GetStatusMessageID,
// GetBitmapID and PlugInProc for texts, bitmaps, name and version, and calls
// OnCommand when the user invokes the command. Every export runs on the
// editor's user-interface thread; the library entry point stores the module
// handle and readies the runtime to throw std::bad_alloc on an empty heap.
//
// OnCommand reads the settings afresh from the registry. A synchronous run
// holds the editor's thread until ctags has ended. A background run adds one
// completion watcher thread, which reports the end of ctags to the editor's
// window with SendMessageA and therefore waits until the editor's thread has
// handled it. The watcher keeps the library loaded while it runs, so the
// editor may unload the library at any time.
#pragma once

#include <windows.h>

extern "C" {

void WINAPI OnCommand(HWND hwnd);
BOOL WINAPI QueryStatus(HWND hwnd, LPBOOL checked);
void WINAPI OnEvents(HWND hwnd, UINT events, LPARAM value);
UINT WINAPI GetMenuTextID();
UINT WINAPI GetStatusMessageID();
UINT WINAPI GetBitmapID();
LRESULT WINAPI PlugInProc(HWND hwnd, UINT code, WPARAM first, LPARAM second);

} // extern "C"
