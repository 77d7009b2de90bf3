// Answers the shell's folder browser the way a person would: reports what it
// shows and presses OK or Cancel, once for every browser that opens. In a
// scripted run nobody is at the screen: a dialog that the options do not
// answer ends the run at once.
#pragma once

#include <windows.h>

#include <string>

#include "host/DialogDriver.h"
#include "host/HostOptions.h"

namespace kestrel::host {

// The exit code of a scripted run that a dialog nobody answers has ended.
constexpr UINT kUnexpectedDialogExitCode = 4;

// Makes `driver` answer every folder browser of its thread as `options` say.
// With --run, any other dialog that waits for the user is reported
// ("unexpected-dialog: <title>") and ends the process with
// kUnexpectedDialogExitCode; without it, the person at the screen answers.
void AnswerDialogs(DialogDriver& driver, const HostOptions& options);

// What the browser's folder tree has selected: the display names from the
// tree's root down to the selection, joined by backslashes.
std::string BrowserSelection(HWND browser);

} // namespace kestrel::host
