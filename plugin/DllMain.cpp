#include <windows.h>

#include "plugin/ModuleState.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        kestrel::SetModuleInstance(instance);
    }
    return TRUE;
}
