// The file-open dialog that picks the ctags executable.
#pragma once

#include <windows.h>

#include "text/CountedString.h"

namespace kestrel {

// Opens the file-open dialog over `owner`, starting from `current` when a
// file or folder of that name exists and empty otherwise. On OK the chosen
// path goes to `chosen` and the result is true; on cancel or failure
// `chosen` is left alone and the result is false.
bool AskForExecutable(HWND owner, const CountedString& current, CountedString& chosen);

} // namespace kestrel
