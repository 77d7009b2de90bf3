// The editor's main window as far as a plug-in sees it: a top-level window
// with a menu for the command and the properties, a status bar that shows
// the plug-in's status texts, and the answers to the plug-in's messages.
// Everything it shows or answers is also reported on stdout.
#pragma once

#include <windows.h>

#include <memory>

#include "host/HostOptions.h"
#include "host/PlugIn.h"
#include "host/ScriptedRun.h"
#include "plugin/UniqueAny.h"

namespace kestrel::host {

using UniqueBitmap = UniqueAny<HBITMAP, &DeleteObject>;

class HostWindow {
public:
    HostWindow(const HostOptions& options, PlugIn& plugIn);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // Creates and shows the window; with --run it starts the scripted run
    // from its first message.
    bool Create();
    HWND Handle() const { return m_window; }

    // Pumps messages until the window is gone; returns the exit code.
    int RunMessageLoop();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    HMENU CreateMainMenu();
    void OnMenuCommand(UINT id);
    void OnInitMenu(HMENU menu);
    void OnStatusText(const char* text);
    void OnDocumentPathQuery(char* buffer);
    void ShowStatus(const char* text);
    void FinishScriptedRun();

    const HostOptions& m_options;
    PlugIn& m_plugIn;
    std::unique_ptr<ScriptedRun> m_script;
    HWND m_window = nullptr;
    HWND m_statusBar = nullptr;
    UniqueBitmap m_commandBitmap;
};

} // namespace kestrel::host
