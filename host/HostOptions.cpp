#include "host/HostOptions.h"

#include <cerrno>
#include <cstdlib>

namespace kestrel::host {

bool ParseHostOptions(int argc, char** argv, HostOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        bool* flag = name == "--run"                    ? &options.run
                     : name == "--wait-background"      ? &options.waitBackground
                     : name == "--trace-beep"           ? &options.traceBeep
                     : name == "--unload-after-command" ? &options.unloadAfterCommand
                     : name == "--unload-on-message"    ? &options.unloadOnMessage
                     : name == "--help"                 ? &options.help
                                                        : nullptr;
        if (flag != nullptr) {
            *flag = true;
            continue;
        }
        if (name != "--dll" && name != "--document" && name != "--browse" && name != "--hold-ms" &&
            name != "--start-on") {
            error = "unknown option " + name;
            return false;
        }
        if (++i >= argc) {
            error = name + " needs a value";
            return false;
        }
        const std::string value = argv[i];
        if (name == "--dll") {
            options.dllPath = value;
        } else if (name == "--document") {
            options.documentPath = value;
        } else if (name == "--start-on") {
            options.startEvent = value;
        } else if (name == "--browse" && (value == "ok" || value == "cancel")) {
            options.browse = value == "ok" ? BrowseAnswer::Ok : BrowseAnswer::Cancel;
        } else if (name == "--browse") {
            error = "--browse takes ok or cancel, not " + value;
            return false;
        } else {
            char* end = nullptr;
            errno = 0;
            const unsigned long ms = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || value[0] == '-' || *end != '\0' || errno != 0) {
                error = "--hold-ms takes a number, not " + value;
                return false;
            }
            options.holdMs = static_cast<DWORD>(ms);
        }
    }
    return true;
}

const char* HostUsage() {
    return "KestrelHost [options]: loads a plug-in DLL and hosts it as the editor would.\n"
           "  --dll PATH              plug-in to load (default: Kestrel.dll beside the host)\n"
           "  --document PATH         answer of the document-path query (default: empty)\n"
           "  --run                   call OnCommand once the window shows, then exit\n"
           "                          (given up after two minutes, exit code 3; ended at\n"
           "                          once by a dialog that no option answers, exit code 4)\n"
           "  --wait-background       after a command that started a thread, wait for a\n"
           "                          status text that arrives late (sent from it)\n"
           "  --start-on NAME         before the command, release the semaphore NAME.ready\n"
           "                          if there is one, then wait for the event NAME, so\n"
           "                          that several hosts start their commands together\n"
           "  --browse ok|cancel      press OK or Cancel in every folder browser shown\n"
           "  --trace-beep            report the plug-in's MessageBeep calls\n"
           "  --unload-after-command  FreeLibrary the plug-in after the command\n"
           "  --unload-on-message     FreeLibrary the plug-in when the window gets\n"
           "                          WM_APP+2 (as editors free a plug-in that is turned\n"
           "                          off), and say at the end whether it left the process\n"
           "  --hold-ms MS            keep the window MS ms after a scripted run\n";
}

} // namespace kestrel::host
