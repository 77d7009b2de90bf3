#include "host/ScriptedRun.h"

#include "host/Output.h"

namespace kestrel::host {

bool ScriptedRun::Start(HWND host) {
    m_started = true;
    PrintLine("command");
    m_inCommand = true;
    m_plugIn.OnCommand(host);
    m_inCommand = false;
    PrintLine("command-returned");
    if (m_options.unloadAfterCommand) {
        // A background run's watcher must keep the library loaded by itself.
        m_plugIn.Unload();
        PrintLine("unloaded");
    }
    if (!m_options.waitBackground || m_lateText) {
        return true;
    }
    m_waiting = true;
    return false;
}

bool ScriptedRun::OnStatusText(bool sentByOtherThread) {
    // A text is late when a background thread sent it, or when it reached
    // the host while no command ran. The host's thread handles messages of
    // other threads only while it waits: inside a command that is a dialog's
    // own message loop.
    if (m_started && (sentByOtherThread || !m_inCommand)) {
        m_lateText = true;
    }
    if (m_waiting && m_lateText) {
        m_waiting = false;
        return true;
    }
    return false;
}

} // namespace kestrel::host
