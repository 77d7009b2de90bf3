#include "settings/FileOpen.h"

#include <commdlg.h>

#include <cstddef>

#include "plugin/ModuleState.h"
#include "resources/resource.h"

namespace kestrel {
namespace {

constexpr int kPathCapacity = MAX_PATH;

// The filter entry is a description, a NUL and a pattern (30 bytes in code
// page 932); the list it starts needs two more NULs after it.
constexpr int kFilterCapacity = 256;

// The structure as it was before the Windows 2000 extensions, which the
// dialog accepts everywhere.
#ifndef _WIN64
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76,
              "the pre-2000 OPENFILENAMEA is 76 bytes");
#endif

} // namespace

bool AskForExecutable(HWND owner, const CountedString& current, CountedString& chosen) {
    // A name that does not exist would only make the dialog start on an
    // error; a relative name is looked up from the current directory.
    CountedString file;
    if (GetFileAttributesA(current.Chars()) != INVALID_FILE_ATTRIBUTES) {
        file = current;
    }
    // The buffer is the copy's own, so the dialog never writes into `current`.
    char* path = file.GetBuffer(kPathCapacity);

    const CountedString title(MAKEINTRESOURCEA(IDS_OPEN_TITLE));
    // LoadStringA copies the whole entry, its inner NUL included, and ends it
    // with one NUL. The buffer is zeroed and one byte longer than LoadStringA
    // is told, so a second NUL always ends the list.
    char filter[kFilterCapacity] = {};
    LoadStringA(ModuleInstance(), IDS_OPEN_FILTER, filter, kFilterCapacity - 1);

    OPENFILENAMEA dialog;
    ZeroMemory(&dialog, sizeof dialog);
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = path;
    dialog.nMaxFile = kPathCapacity;
    dialog.lpstrTitle = title.Chars();
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    const bool picked = GetOpenFileNameA(&dialog) != FALSE;

    file.ReleaseBuffer(-1);
    if (picked) {
        chosen = file;
    }
    return picked;
}

} // namespace kestrel
