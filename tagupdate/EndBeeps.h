// Which texts that end a command come with a beep: a run that failed, one
// stopped before it filled the disk and a start refused for another run or
// command do; a run that ended well and a start that
// could not be made show their text alone.
#pragma once

#include <windows.h>

namespace kestrel {

// Sounds MessageBeep(0) when the end text with string id `textId` comes with
// one. Allocates nothing.
void BeepFor(UINT textId);

} // namespace kestrel
