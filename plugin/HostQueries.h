// The editor's queries through PlugInProc.
#pragma once

#include <windows.h>

namespace kestrel {

enum HostQuery : UINT {
    kQueryHasProperties = 0x0900,
    kQueryProperties = 0x0901,
    kQueryName = 0x0902,
    kQuery0903 = 0x0903,
    kQueryVersion = 0x0904,
    kQuery0905 = 0x0905,
    kQuery0906 = 0x0906,
    kQueryUninstall = 0x0907,
    kQueryBitmap = 0x0908,
    kQuery0909 = 0x0909,
};

// Answers query `code`; unknown codes answer 0.
LRESULT AnswerHostQuery(HWND hwnd, UINT code, WPARAM first, LPARAM second);

} // namespace kestrel
