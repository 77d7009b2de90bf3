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

// Points `module`'s import of `function` at `replacement` and keeps the
// function it led to in `original`, which a second call leaves as it is.
// False when the module does not import it.
template <typename Function>
bool RedirectImport(HMODULE module, const char* dll, const char* function, Function replacement,
                    Function& original) {
    void* previous = PatchImport(module, dll, function, reinterpret_cast<void*>(replacement));
    if (previous != nullptr && previous != reinterpret_cast<void*>(replacement)) {
        original = reinterpret_cast<Function>(previous);
    }
    return previous != nullptr;
}

} // namespace kestrel
