#include "host/PlugIn.h"

namespace kestrel::host {

bool PlugIn::Load(const std::string& path) {
    m_module.Reset(LoadLibraryA(path.c_str()));
    return IsLoaded();
}

bool PlugIn::OnCommand(HWND hwnd) const {
    const auto onCommand = Export<void(WINAPI*)(HWND)>("OnCommand");
    if (onCommand == nullptr) {
        return false;
    }
    onCommand(hwnd);
    return true;
}

bool PlugIn::QueryStatus(HWND hwnd, BOOL& checked, BOOL& enabled) const {
    const auto queryStatus = Export<BOOL(WINAPI*)(HWND, LPBOOL)>("QueryStatus");
    if (queryStatus == nullptr) {
        return false;
    }
    checked = FALSE;
    enabled = queryStatus(hwnd, &checked);
    return true;
}

bool PlugIn::PlugInProc(HWND hwnd, UINT code, WPARAM p1, LPARAM p2, LRESULT& result) const {
    const auto plugInProc = Export<LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM)>("PlugInProc");
    if (plugInProc == nullptr) {
        return false;
    }
    result = plugInProc(hwnd, code, p1, p2);
    return true;
}

std::string PlugIn::Text(const char* getId) const {
    const auto id = Export<GetIdFn>(getId);
    char text[512] = {};
    if (id == nullptr || LoadStringA(m_module.Get(), id(), text, sizeof text) <= 0) {
        return std::string();
    }
    return text;
}

std::string PlugIn::MenuText() const {
    return Text("GetMenuTextID");
}

std::string PlugIn::StatusMessage() const {
    return Text("GetStatusMessageID");
}

HBITMAP PlugIn::LoadCommandBitmap() const {
    const auto id = Export<GetIdFn>("GetBitmapID");
    if (id == nullptr) {
        return nullptr;
    }
    return static_cast<HBITMAP>(
        LoadImageA(m_module.Get(), MAKEINTRESOURCEA(id()), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

std::string DefaultPlugInPath() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return "Kestrel.dll";
    }
    // By characters: a trail byte of a double-byte character may be 0x5C.
    const char* end = path;
    for (const char* p = path; *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\' || *p == '/') {
            end = p + 1;
        }
    }
    return std::string(static_cast<const char*>(path), end) + "Kestrel.dll";
}

bool LeavesTheProcess(const std::string& path) {
    for (int tries = 0; tries < 500; ++tries) {
        if (GetModuleHandleA(path.c_str()) == nullptr) {
            return true;
        }
        Sleep(20);
    }
    return false;
}

} // namespace kestrel::host
