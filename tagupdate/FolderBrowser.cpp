#include "tagupdate/FolderBrowser.h"

#include <shlobj.h>

#include "plugin/HostInterface.h"
#include "resources/resource.h"
#include "tagupdate/ShellOwners.h"

namespace kestrel {

CountedString PickFolder(HWND hwnd, const CountedString& initial) {
    CountedString result;
    const ShellAllocator allocator;
    if (!allocator) {
        return result;
    }
    const CountedString title(MAKEINTRESOURCEA(IDS_BROWSE_TITLE));

    BROWSEINFOA info = {};
    info.hwndOwner = hwnd;
    info.pidlRoot = nullptr; // the desktop
    info.pszDisplayName = nullptr;
    info.lpszTitle = title.Chars();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_UAHINT | BIF_NONEWFOLDERBUTTON;
    info.lpfn = BrowseCallback;
    info.lParam = initial.IsEmpty() ? 0 : reinterpret_cast<LPARAM>(initial.Chars());
    info.iImage = 0;

    const ItemIdList chosen(SHBrowseForFolderA(&info), allocator);
    if (chosen) {
        char path[kPathBufferSize] = {};
        if (SHGetPathFromIDListA(chosen.Get(), path)) {
            result = path;
        }
    }
    return result;
}

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM /*parameter*/, LPARAM data) {
    if (message == BFFM_INITIALIZED && data != 0) {
        SendMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
    }
    return 0;
}

} // namespace kestrel
