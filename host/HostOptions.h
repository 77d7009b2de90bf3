// The stand-in host's command line.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel::host {

enum class BrowseAnswer { None, Ok, Cancel };

struct HostOptions {
    std::string dllPath;      // empty: Kestrel.dll beside the host
    std::string documentPath; // system code page; empty: no document
    bool run = false;
    bool waitBackground = false;
    DWORD holdMs = 0; // how long the window stays after a scripted run
    BrowseAnswer browse = BrowseAnswer::None;
    bool traceBeep = false;
    bool unloadAfterCommand = false;
    bool unloadOnMessage = false;
    std::string startEvent; // empty: the command starts at once
    bool help = false;
};

// Fills `options` from the arguments after the program name; on a bad
// argument returns false with `error` saying why.
bool ParseHostOptions(int argc, char** argv, HostOptions& options, std::string& error);

// What the options are, for --help and bad command lines.
const char* HostUsage();

} // namespace kestrel::host
