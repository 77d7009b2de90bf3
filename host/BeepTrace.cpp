#include "host/BeepTrace.h"

#include <string>

#include "host/ImportPatch.h"
#include "host/Output.h"

namespace kestrel::host {

namespace {

using MessageBeepFn = decltype(&MessageBeep);

// The replacement gets no context of its own, so what it needs lives here.
// Both are written once, before the plug-in can beep, and only read after.
MessageBeepFn g_realMessageBeep = nullptr;
DWORD g_uiThreadId = 0;

BOOL WINAPI TracedMessageBeep(UINT type) {
    const char* thread = GetCurrentThreadId() == g_uiThreadId ? "ui" : "other";
    PrintLine("beep: " + std::to_string(type) + " thread=" + thread);
    return g_realMessageBeep(type);
}

} // namespace

bool TraceBeeps(HMODULE plugIn, DWORD uiThreadId) {
    g_uiThreadId = uiThreadId;
    return RedirectImport(plugIn, "user32.dll", "MessageBeep", &TracedMessageBeep,
                          g_realMessageBeep);
}

} // namespace kestrel::host
