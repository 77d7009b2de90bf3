// The functions the editor calls in Kestrel.dll.
//
// The editor loads the library, then calls every export on its user-interface
// thread; the library entry point only stores the module handle. OnCommand
// runs the tag update command: it reads the settings afresh, and with
// synchronous runs it holds the editor's thread until ctags has ended. A
// background run adds one completion watcher thread, which reports the end of
// ctags to the editor's window with SendMessageA and so waits until the
// editor's thread has handled it. The watcher keeps the library loaded while
// it runs, so the editor may unload the library at any time.
#pragma once

#include <windows.h>

extern "C" {

void WINAPI OnCommand(HWND hwnd);

} // extern "C"
