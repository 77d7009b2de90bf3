// Tells whether the plug-in started a thread of its own: only then can a
// status text still come after its command has returned.
#pragma once

#include <windows.h>

namespace kestrel::host {

// Redirects `plugIn`'s import of CreateThread so that every thread it starts
// is counted. False if the plug-in does not import CreateThread.
bool WatchThreadStarts(HMODULE plugIn);

// Threads the plug-in has started since it was loaded.
long ThreadsStarted();

// Whether a thread the plug-in started after the first `since` still runs:
// one that has ended (work the command waited for) sends nothing more.
bool ThreadsStartedSinceRun(long since);

} // namespace kestrel::host
