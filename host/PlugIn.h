// The plug-in library as the editor sees it: a module and the exports that it
// offers. Every export but OnCommand may be missing; the calls say whether
// the export was there.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel::host {

class PlugIn {
public:
    PlugIn() = default;
    ~PlugIn() { Unload(); }
    PlugIn(PlugIn&& other) noexcept;
    PlugIn& operator=(PlugIn&& other) noexcept;
    PlugIn(const PlugIn&) = delete;
    PlugIn& operator=(const PlugIn&) = delete;

    // LoadLibraryA and the export look-ups; false if the library did not load.
    bool Load(const std::string& path);
    // FreeLibrary; the exports are gone afterwards.
    void Unload();

    bool IsLoaded() const { return m_module != nullptr; }
    HMODULE Module() const { return m_module; }

    bool OnCommand(HWND hwnd) const;
    bool QueryStatus(HWND hwnd, BOOL& checked, BOOL& enabled) const;
    bool OnEvents(HWND hwnd, UINT events, LPARAM value) const;
    bool PlugInProc(HWND hwnd, UINT code, WPARAM p1, LPARAM p2, LRESULT& result) const;
    // The menu text that the plug-in names with GetMenuTextID, loaded from its
    // string table; empty if it names none.
    std::string MenuText() const;
    // Its GetStatusMessageID text: a description, a line feed, a short form.
    std::string StatusMessage() const;
    // Its GetBitmapID bitmap, for the caller to delete; null if none.
    HBITMAP LoadCommandBitmap() const;

private:
    using OnCommandFn = void(WINAPI*)(HWND);
    using QueryStatusFn = BOOL(WINAPI*)(HWND, LPBOOL);
    using OnEventsFn = void(WINAPI*)(HWND, UINT, LPARAM);
    using GetIdFn = UINT(WINAPI*)();
    using PlugInProcFn = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

    // The plug-in's string that getId names, or empty.
    std::string Text(GetIdFn getId) const;

    void Clear();

    HMODULE m_module = nullptr;
    OnCommandFn m_onCommand = nullptr;
    QueryStatusFn m_queryStatus = nullptr;
    OnEventsFn m_onEvents = nullptr;
    GetIdFn m_getMenuTextId = nullptr;
    GetIdFn m_getStatusMessageId = nullptr;
    GetIdFn m_getBitmapId = nullptr;
    PlugInProcFn m_plugInProc = nullptr;
};

// Kestrel.dll in the folder of the running host.
std::string DefaultPlugInPath();

} // namespace kestrel::host
