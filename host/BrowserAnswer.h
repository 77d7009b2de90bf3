// Answers the shell's folder browser the way a person would: reports what it
// shows and presses OK or Cancel, once for every browser that opens.
#pragma once

#include <windows.h>

#include <string>

#include "host/DialogDriver.h"
#include "host/HostOptions.h"

namespace kestrel::host {

// Makes `driver` answer every folder browser of its thread with `answer`.
void AnswerBrowsers(DialogDriver& driver, BrowseAnswer answer);

// What the browser's folder tree has selected: the display names from the
// tree's root down to the selection, joined by backslashes.
std::string BrowserSelection(HWND browser);

} // namespace kestrel::host
