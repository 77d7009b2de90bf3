#include "plugin/Exports.h"

#include <new>

#include "plugin/HostInterface.h"
#include "plugin/HostQueries.h"
#include "plugin/ModuleState.h"
#include "resources/resource.h"
#include "settings/SettingsStore.h"
#include "tagupdate/TagUpdate.h"

namespace {

constexpr UINT kEventRemember = 0x0400;
constexpr UINT kEventSend = 0x0040;

} // namespace

// Out of memory is the one exception the plug-in's code lets travel. It must
// not unwind into the editor, whose frames know nothing of it: the command
// ends where it stood, each string released on the way out.
void WINAPI OnCommand(HWND hwnd) {
    try {
        kestrel::Settings settings;
        kestrel::LoadSettings(settings);
        kestrel::RunTagUpdate(settings, hwnd);
        kestrel::ReleaseSettings(settings);
    } catch (const std::bad_alloc&) {
    }
}

BOOL WINAPI QueryStatus(HWND /*hwnd*/, LPBOOL checked) {
    if (checked != nullptr) {
        *checked = FALSE;
    }
    return TRUE;
}

void WINAPI OnEvents(HWND hwnd, UINT events, LPARAM value) {
    if (events & kEventRemember) {
        kestrel::RememberEventValue(value);
    }
    if (events & kEventSend) {
        SendMessageA(hwnd, kestrel::kRememberedEventMessage,
                     static_cast<WPARAM>(kestrel::RememberedEventValue()), 0);
    }
}

UINT WINAPI GetMenuTextID() {
    return IDS_MENU_TEXT;
}

UINT WINAPI GetStatusMessageID() {
    return IDS_STATUS_MESSAGE;
}

UINT WINAPI GetBitmapID() {
    return IDB_SMALL;
}

LRESULT WINAPI PlugInProc(HWND hwnd, UINT code, WPARAM first, LPARAM second) {
    try {
        return kestrel::AnswerHostQuery(hwnd, code, first, second);
    } catch (const std::bad_alloc&) {
        return 0;
    }
}
