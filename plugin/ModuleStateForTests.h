// Module state that only the tests read back: the plug-in writes these and
// never looks at them again.
#pragma once

#include <windows.h>

#include "text/CountedString.h"

namespace kestrel {

HANDLE WatcherProcess();
const CountedString& LastStatusText();

} // namespace kestrel
