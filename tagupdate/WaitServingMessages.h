// Waits for the editor's thread that keep its windows alive: what other
// threads and programs send to them is served and what needs painting is
// painted, while input, posted messages and timers stay queued, in their
// order, for the editor's own loop once the command has returned.
#pragma once

#include <windows.h>

namespace kestrel {

// Until `handle` (a thread, a process) is signalled.
void WaitServingMessages(HANDLE handle);

} // namespace kestrel
