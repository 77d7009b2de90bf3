// Process starts that Wine now and then fails for its own sake.
#pragma once

#include <windows.h>

namespace kestrel {

// Wine 8 now and then fails to start a program, the 64-bit fake ctags above
// all, with ERROR_INTERNAL_ERROR (seen about once in 4,000 starts). Windows
// has no such failure, so a test that met it would fail for Wine's sake
// (in the test programs, and in the stand-in host, which the end-to-end tests
// drive): the start is made again, at most three times in all, and said on stderr. Every
// other failure is returned as it is.
BOOL WINAPI StartProcessSteadily(LPCSTR application, LPSTR commandLine,
                                 LPSECURITY_ATTRIBUTES processAttributes,
                                 LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags,
                                 LPVOID environment, LPCSTR directory, LPSTARTUPINFOA startup,
                                 LPPROCESS_INFORMATION information);
// Makes `module` (the loaded plug-in) start its processes that way; false
// when its import was not found.
bool SteadyProcessStarts(HMODULE module);

} // namespace kestrel
