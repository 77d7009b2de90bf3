// KestrelHost: a small stand-in for the editor that hosts Kestrel.dll. It
// loads the plug-in, calls its exports as the editor does, answers its
// messages and reports everything it sees on stdout, one line each, so that
// tests can drive the plug-in unattended (--run) and people can try it.
#include <windows.h>

#include <commctrl.h>
#include <ole2.h>

#include <optional>
#include <string>

#include "host/BeepTrace.h"
#include "host/BrowserAnswer.h"
#include "host/DialogDriver.h"
#include "host/HostOptions.h"
#include "host/HostWindow.h"
#include "host/Output.h"
#include "host/PlugIn.h"
#include "host/SteadyStarts.h"
#include "host/ThreadWatch.h"
#include "host/Watchdog.h"

namespace {

constexpr int kUsageExitCode = 1;
constexpr int kStartFailureExitCode = 2;
// A scripted run that takes longer has hung.
constexpr DWORD kScriptedRunTimeoutMs = 120000;

int RunHost(const kestrel::host::HostOptions& options) {
    using namespace kestrel::host;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    Watchdog watchdog;
    if (options.run && !watchdog.Arm(kScriptedRunTimeoutMs)) {
        PrintError("cannot start the time-out watch");
        return kStartFailureExitCode;
    }
    PlugIn plugIn;
    const std::string path = options.dllPath.empty() ? DefaultPlugInPath() : options.dllPath;
    if (!plugIn.Load(path)) {
        PrintError("cannot load the plug-in " + AnsiToUtf8(path.c_str()) + ", error " +
                   std::to_string(GetLastError()));
        return kStartFailureExitCode;
    }
    // A plug-in that starts no program has nothing to make steady.
    kestrel::SteadyProcessStarts(plugIn.Module());
    if (options.traceBeep && !TraceBeeps(plugIn.Module(), GetCurrentThreadId())) {
        PrintError("the plug-in does not import MessageBeep: no beeps can be seen");
    }
    if (options.waitBackground && !WatchThreadStarts(plugIn.Module())) {
        PrintError("the plug-in does not import CreateThread: no text can come late");
    }
    HostWindow window(options, plugIn);
    if (!window.Create()) {
        PrintError("cannot create the host window");
        return kStartFailureExitCode;
    }
    std::optional<kestrel::DialogDriver> dialogs;
    if (options.run || options.browse != BrowseAnswer::None) {
        dialogs.emplace();
        if (!dialogs->IsHooked()) {
            PrintError("cannot watch for dialogs");
            return kStartFailureExitCode;
        }
        AnswerDialogs(*dialogs, options);
    }
    const int exitCode = window.RunMessageLoop();
    if (options.unloadOnMessage && !plugIn.IsLoaded()) {
        PrintLine(LeavesTheProcess(path) ? "library-unloaded" : "library-still-loaded");
    }
    watchdog.Disarm();
    return exitCode;
}

} // namespace

int main(int argc, char** argv) {
    using namespace kestrel::host;
    HostOptions options;
    std::string error;
    if (!ParseHostOptions(argc, argv, options, error)) {
        PrintError(error + "; KestrelHost --help lists the options");
        return kUsageExitCode;
    }
    if (options.help) {
        PrintLine(HostUsage());
        return 0;
    }
    // As the editor does: the shell's folder browser needs OLE on this thread.
    if (FAILED(OleInitialize(nullptr))) {
        PrintError("OleInitialize failed");
        return kStartFailureExitCode;
    }
    const int exitCode = RunHost(options);
    OleUninitialize();
    return exitCode;
}
