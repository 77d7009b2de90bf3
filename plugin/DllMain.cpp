#include <windows.h>

#include <new>

#include "plugin/ModuleState.h"

#if defined(__MINGW32__)
// The GNU C++ runtime takes a thrown exception's memory from malloc and, when
// malloc fails, from an emergency pool. The pool's lock is a winpthreads mutex
// that is made, with malloc, the first time it is locked. Should the heap be
// spent by then, the lock cannot be made, the runtime throws about that, and
// that throw needs the pool again: the stack overflows inside the editor. So
// while the heap still serves, one throw goes through the pool, its own
// allocation refused; the unwinder and this thread's exception state are set
// up on the way. Visual C++ throws without the heap and needs none of this.
extern "C" void*(__cdecl* __MINGW_IMP_SYMBOL(malloc))(size_t); // this library's import

namespace {

void*(__cdecl* g_malloc)(size_t) = nullptr;

void* __cdecl RefuseOnce(size_t) {
    __MINGW_IMP_SYMBOL(malloc) = g_malloc;
    return nullptr;
}

void OpenEmergencyPool() {
    DWORD protection = 0;
    if (!VirtualProtect(&__MINGW_IMP_SYMBOL(malloc), sizeof(void*), PAGE_READWRITE, &protection)) {
        return;
    }
    g_malloc = __MINGW_IMP_SYMBOL(malloc);
    __MINGW_IMP_SYMBOL(malloc) = RefuseOnce;
    try {
        throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
    }
    __MINGW_IMP_SYMBOL(malloc) = g_malloc;
    VirtualProtect(&__MINGW_IMP_SYMBOL(malloc), sizeof(void*), protection, &protection);
}

} // namespace
#else
static void OpenEmergencyPool() {
}
#endif

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        kestrel::SetModuleInstance(instance);
        OpenEmergencyPool();
    }
    return TRUE;
}
