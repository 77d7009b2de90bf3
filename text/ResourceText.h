// String-table text of the plug-in's own module.
#pragma once

#include <windows.h>

namespace kestrel {

// Copies string-table text `id` into buffer (at most size - 1 bytes and a
// NUL) and returns the bytes copied; 0 leaves an empty text in the buffer.
int LoadResourceText(UINT id, char* buffer, int size);

} // namespace kestrel
