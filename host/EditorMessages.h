// The messages that the editor answers for its plug-ins, as the host knows
// them. Kept apart from the plug-in's own copy: the host stands for the
// editor, whose numbers do not move when the plug-in changes.
#pragma once

#include <windows.h>

namespace kestrel::host {

// wParam 0, lParam a NUL-terminated text in the system code page.
constexpr UINT kStatusTextMessage = 0x0825;

// wParam kDocumentPathQueryKind, lParam a buffer of kPathBufferSize bytes.
constexpr UINT kDocumentPathQuery = 0x083A;
constexpr WPARAM kDocumentPathQueryKind = 0x0116;
constexpr int kPathBufferSize = 260;

// PlugInProc query that opens the plug-in's properties.
constexpr UINT kPropertiesQuery = 0x0901;

} // namespace kestrel::host
