// The editor's thread cannot drop the last reference to the library it runs
// in: FreeLibrary would unmap the code it returns to. So a callback of the
// thread pool drops it, once the editor's thread has left: SendMessage to
// the editor's window returns only when that thread has taken the message
// in a message loop, which the library's code no longer runs once its call
// is over (or at once, when the window is gone). The pool lets go of the
// library after the callback has returned into the pool's own code.
#include "plugin/LibraryHold.h"

namespace kestrel {
namespace {

void CALLBACK LetGoOnceTheEditorIsBack(PTP_CALLBACK_INSTANCE instance, void* hostWindow) {
    SendMessageA(static_cast<HWND>(hostWindow), WM_NULL, 0, 0);
    HMODULE library = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&LetGoOnceTheEditorIsBack), &library);
    FreeLibraryWhenCallbackReturns(instance, library);
}

} // namespace

UniqueModule ReferenceThisLibrary() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(&ReferenceThisLibrary), &module)) {
        module = nullptr;
    }
    return UniqueModule(module);
}

void LibraryHold::Take() {
    if (!m_library) {
        m_library = ReferenceThisLibrary();
    }
}

LibraryHold::~LibraryHold() {
    if (!m_library) {
        return;
    }
    // Only a window of this thread tells that this thread is back in its
    // loop. Without one, or without the callback, the library stays loaded
    // until the editor ends: better than unmapped under its caller.
    if (GetWindowThreadProcessId(m_hostWindow, nullptr) == GetCurrentThreadId()) {
        TrySubmitThreadpoolCallback(LetGoOnceTheEditorIsBack, m_hostWindow, nullptr);
    }
    m_library.Release();
}

} // namespace kestrel
