// The properties dialog (dialog 106): the six settings in one modal dialog
// over the host window; OK stores them, anything else discards them.
#pragma once

#include <windows.h>

namespace kestrel {

// Loads the stored settings, shows them over `owner` and saves them when the
// dialog ends with OK. Runs on the host's user-interface thread.
void ShowProperties(HWND owner);

// The dialog procedure of dialog 106. The initialisation parameter is the
// address of the Settings record to edit; null leaves the controls as the
// template has them and makes OK read nothing and the browse button do
// nothing.
INT_PTR CALLBACK PropertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace kestrel
