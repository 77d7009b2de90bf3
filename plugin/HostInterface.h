// What the plug-in sends to the editor's window, and what it relies on.
// All are sent with SendMessageA; texts and buffers only have to live until
// the call returns.
#pragma once

#include <windows.h>

namespace kestrel {

// wParam 0, lParam a NUL-terminated text in the system code page: the editor
// shows it in its status bar. May come from the completion watcher's thread.
constexpr UINT kStatusTextMessage = 0x0825;

// wParam kDocumentPathQueryKind, lParam a buffer of kPathBufferSize bytes:
// the editor writes the active document's full path into it.
constexpr UINT kDocumentPathQuery = 0x083A;
constexpr WPARAM kDocumentPathQueryKind = 0x0116;

// wParam the value remembered from event 0x400, lParam 0.
constexpr UINT kRememberedEventMessage = 0x0802;

// Every fixed path buffer: document path, folder browser and file-open results.
constexpr int kPathBufferSize = 260;

} // namespace kestrel
