#include "host/ScriptedRun.h"

#include "host/Output.h"
#include "host/ThreadWatch.h"
#include "plugin/UniqueAny.h"

namespace kestrel::host {

namespace {

// Says "ready" through the semaphore `name`.ready, if the starter made one,
// then waits until the event `name` is set.
void WaitForStartSignal(const std::string& name) {
    const UniqueHandle ready(
        OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, (name + ".ready").c_str()));
    const UniqueHandle start(CreateEventA(nullptr, TRUE, FALSE, name.c_str()));
    if (ready) {
        ReleaseSemaphore(ready.Get(), 1, nullptr);
    }
    WaitForSingleObject(start.Get(), INFINITE); // the watchdog ends a wait that never ends
    PrintLine("started-on: " + name);
}

} // namespace

bool ScriptedRun::Start(HWND host) {
    m_started = true;
    if (!m_options.startEvent.empty()) {
        WaitForStartSignal(m_options.startEvent);
    }
    PrintLine("command");
    m_inCommand = true;
    m_plugIn.OnCommand(host);
    m_inCommand = false;
    PrintLine("command-returned");
    // Only a thread of the plug-in's that still runs can send a text after
    // its command.
    const bool textMayFollow = ThreadsRunning();
    if (m_options.unloadAfterCommand) {
        // A background run's watcher must keep the library loaded by itself.
        m_plugIn.Unload();
        PrintLine("unloaded");
    }
    if (!m_options.waitBackground || m_lateText || !textMayFollow) {
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
