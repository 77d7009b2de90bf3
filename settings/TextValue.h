// Reads a registry value as text.
#pragma once

#include <windows.h>

#include "text/CountedString.h"

namespace kestrel {

// The data of value `name` under `key` up to its first NUL, whatever its
// type; a value stored without a NUL is read whole. Empty when the value is
// missing, unreadable, implausibly large or keeps changing size while read.
CountedString ReadTextValue(HKEY key, const char* name);

} // namespace kestrel
