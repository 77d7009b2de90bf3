// Waits for the editor's thread that keep its windows alive: what other
// threads and programs send to them is served and what needs painting is
// painted, while input, posted messages and timers stay queued, in their
// order, for the editor's own loop once the command has returned.
#pragma once

#include <windows.h>

#include "tagupdate/DiskGuard.h"
#include "tagupdate/ErrorStream.h"

namespace kestrel {

// Until `process` has ended: true; false as soon as `disk` has no room left,
// which it is asked at least every kDiskGuardMs. What comes on `errors` is
// collected meanwhile.
bool WaitServingMessages(HANDLE process, const DiskGuard& disk, ErrorStream& errors);

// For `ms` milliseconds.
void PauseServingMessages(DWORD ms);

} // namespace kestrel
