#include "host/SteadyStarts.h"

#include <cstdio>

#include "host/ImportPatch.h"

namespace kestrel {

BOOL WINAPI StartProcessSteadily(LPCSTR application, LPSTR commandLine,
                                 LPSECURITY_ATTRIBUTES processAttributes,
                                 LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags,
                                 LPVOID environment, LPCSTR directory, LPSTARTUPINFOA startup,
                                 LPPROCESS_INFORMATION information) {
    // Not through this program's import, which leads back here.
    static const auto real = reinterpret_cast<decltype(&CreateProcessA)>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateProcessA")));
    for (int attempt = 1;; ++attempt) {
        if (real(application, commandLine, processAttributes, threadAttributes, inherit, flags,
                 environment, directory, startup, information)) {
            return TRUE;
        }
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3) {
            return FALSE;
        }
        std::fprintf(stderr, "note: Wine failed a process start with ERROR_INTERNAL_ERROR; "
                             "starting it again\n");
    }
}

bool SteadyProcessStarts(HMODULE module) {
    return PatchImport(module, "kernel32.dll", "CreateProcessA",
                       reinterpret_cast<void*>(&StartProcessSteadily)) != nullptr;
}

} // namespace kestrel
