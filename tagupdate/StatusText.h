// The editor's status text, the only channel to the user besides the beep.
#pragma once

#include <windows.h>

#include "text/CountedString.h"

namespace kestrel {

// Sends the text with the status-text message; returns when the editor's
// thread has handled it. The result is of no interest.
void SendStatusText(HWND hwnd, const CountedString& text);

} // namespace kestrel
