// The unattended use of the plug-in that tests ask for: one command, then
// optionally unloading the plug-in and waiting for the status text that a
// background run sends late from its own thread.
#pragma once

#include <windows.h>

#include "host/HostOptions.h"
#include "host/PlugIn.h"

namespace kestrel::host {

class ScriptedRun {
public:
    ScriptedRun(const HostOptions& options, PlugIn& plugIn)
        : m_options(options), m_plugIn(plugIn) {}
    ScriptedRun(const ScriptedRun&) = delete;
    ScriptedRun& operator=(const ScriptedRun&) = delete;

    // Runs the command on the host's thread; true when the run is over,
    // false when it now waits for a late text.
    bool Start(HWND host);

    // Counts one status text; true when it is the late text waited for.
    // `sentByOtherThread`: it came from a thread other than the host's.
    bool OnStatusText(bool sentByOtherThread);

private:
    const HostOptions& m_options;
    PlugIn& m_plugIn;
    bool m_started = false;
    bool m_inCommand = false;
    bool m_waiting = false;
    bool m_lateText = false;
};

} // namespace kestrel::host
