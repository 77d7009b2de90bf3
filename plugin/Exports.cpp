#include "plugin/Exports.h"

#include "settings/Settings.h"
#include "tagupdate/TagUpdate.h"

void WINAPI OnCommand(HWND hwnd) {
    kestrel::Settings settings;
    kestrel::RunTagUpdate(settings, hwnd);
}
