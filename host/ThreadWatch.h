// Tells whether a thread the plug-in started still runs: only then can a
// status text still come after its command has returned.
#pragma once

#include <windows.h>

namespace kestrel::host {

// Redirects `plugIn`'s import of CreateThread so that every thread it starts
// is counted. False if the plug-in does not import CreateThread.
bool WatchThreadStarts(HMODULE plugIn);

// Whether a thread that the plug-in started has not ended yet.
bool ThreadsRunning();

} // namespace kestrel::host
