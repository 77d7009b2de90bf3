#include "host/PlugIn.h"

#include <utility>

namespace kestrel::host {

namespace {

template <typename Function> Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

} // namespace

PlugIn::PlugIn(PlugIn&& other) noexcept {
    *this = std::move(other);
}

PlugIn& PlugIn::operator=(PlugIn&& other) noexcept {
    if (this != &other) {
        Unload();
        m_module = other.m_module;
        m_onCommand = other.m_onCommand;
        m_queryStatus = other.m_queryStatus;
        m_onEvents = other.m_onEvents;
        m_getMenuTextId = other.m_getMenuTextId;
        m_getStatusMessageId = other.m_getStatusMessageId;
        m_getBitmapId = other.m_getBitmapId;
        m_plugInProc = other.m_plugInProc;
        other.Clear();
    }
    return *this;
}

bool PlugIn::Load(const std::string& path) {
    Unload();
    m_module = LoadLibraryA(path.c_str());
    if (m_module == nullptr) {
        return false;
    }
    m_onCommand = Export<OnCommandFn>(m_module, "OnCommand");
    m_queryStatus = Export<QueryStatusFn>(m_module, "QueryStatus");
    m_onEvents = Export<OnEventsFn>(m_module, "OnEvents");
    m_getMenuTextId = Export<GetIdFn>(m_module, "GetMenuTextID");
    m_getStatusMessageId = Export<GetIdFn>(m_module, "GetStatusMessageID");
    m_getBitmapId = Export<GetIdFn>(m_module, "GetBitmapID");
    m_plugInProc = Export<PlugInProcFn>(m_module, "PlugInProc");
    return true;
}

void PlugIn::Unload() {
    if (m_module != nullptr) {
        FreeLibrary(m_module);
    }
    Clear();
}

void PlugIn::Clear() {
    m_module = nullptr;
    m_onCommand = nullptr;
    m_queryStatus = nullptr;
    m_onEvents = nullptr;
    m_getMenuTextId = nullptr;
    m_getStatusMessageId = nullptr;
    m_getBitmapId = nullptr;
    m_plugInProc = nullptr;
}

bool PlugIn::OnCommand(HWND hwnd) const {
    if (m_onCommand == nullptr) {
        return false;
    }
    m_onCommand(hwnd);
    return true;
}

bool PlugIn::QueryStatus(HWND hwnd, BOOL& checked, BOOL& enabled) const {
    if (m_queryStatus == nullptr) {
        return false;
    }
    checked = FALSE;
    enabled = m_queryStatus(hwnd, &checked);
    return true;
}

bool PlugIn::OnEvents(HWND hwnd, UINT events, LPARAM value) const {
    if (m_onEvents == nullptr) {
        return false;
    }
    m_onEvents(hwnd, events, value);
    return true;
}

bool PlugIn::PlugInProc(HWND hwnd, UINT code, WPARAM p1, LPARAM p2, LRESULT& result) const {
    if (m_plugInProc == nullptr) {
        return false;
    }
    result = m_plugInProc(hwnd, code, p1, p2);
    return true;
}

std::string PlugIn::Text(GetIdFn getId) const {
    if (getId == nullptr) {
        return std::string();
    }
    char text[512] = {};
    if (LoadStringA(m_module, getId(), text, sizeof text) <= 0) {
        return std::string();
    }
    return text;
}

std::string PlugIn::MenuText() const {
    return Text(m_getMenuTextId);
}

std::string PlugIn::StatusMessage() const {
    return Text(m_getStatusMessageId);
}

HBITMAP PlugIn::LoadCommandBitmap() const {
    if (m_getBitmapId == nullptr) {
        return nullptr;
    }
    return static_cast<HBITMAP>(LoadImageA(m_module, MAKEINTRESOURCEA(m_getBitmapId()),
                                           IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
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

} // namespace kestrel::host
