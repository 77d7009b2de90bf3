// The plug-in library as the editor sees it: a module and the exports that it
// offers. Every export but OnCommand may be missing; the calls say whether
// the export was there.
#pragma once

#include <windows.h>

#include <string>

#include "plugin/UniqueAny.h"

namespace kestrel::host {

class PlugIn {
public:
    // LoadLibraryA; false if the library did not load.
    bool Load(const std::string& path);
    // FreeLibrary; the exports are gone afterwards.
    void Unload() { m_module.Reset(); }

    bool IsLoaded() const { return static_cast<bool>(m_module); }
    HMODULE Module() const { return m_module.Get(); }

    // The export `name` as a `Function`, null when it is missing.
    template <typename Function> Function Export(const char* name) const {
        return reinterpret_cast<Function>(
            reinterpret_cast<void*>(GetProcAddress(m_module.Get(), name)));
    }

    bool OnCommand(HWND hwnd) const;
    bool QueryStatus(HWND hwnd, BOOL& checked, BOOL& enabled) const;
    bool PlugInProc(HWND hwnd, UINT code, WPARAM p1, LPARAM p2, LRESULT& result) const;
    // The menu text that the plug-in names with GetMenuTextID, loaded from its
    // string table; empty if it names none.
    std::string MenuText() const;
    // Its GetStatusMessageID text: a description, a line feed, a short form.
    std::string StatusMessage() const;
    // Its GetBitmapID bitmap, for the caller to delete; null if none.
    HBITMAP LoadCommandBitmap() const;

private:
    using GetIdFn = UINT(WINAPI*)();

    // The plug-in's string that the export `getId` names, or empty.
    std::string Text(const char* getId) const;

    UniqueModule m_module;
};

// Whether the library loaded from `path` leaves the process within ten
// seconds, once every reference to it is gone.
bool LeavesTheProcess(const std::string& path);

// Kestrel.dll in the folder of the running program.
std::string DefaultPlugInPath();

} // namespace kestrel::host
