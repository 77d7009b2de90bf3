// Redirects one imported function of a loaded module: the stand-in host and
// the tests use it to see calls that leave no trace under Wine (MessageBeep
// goes to the X bell).
#pragma once

#include <windows.h>

namespace kestrel {

// Replaces the import address of `function` from `dll` in `module`'s import
// table and returns the previous address, or null when the module does not
// import it by name.
void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement);

} // namespace kestrel
