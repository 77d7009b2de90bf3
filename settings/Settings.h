// The six settings of one command or one properties call.
#pragma once

#include "text/CountedString.h"

namespace kestrel {

struct Settings {
    Settings();  // the texts empty, then the defaults
    ~Settings(); // ReleaseSettings

    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    bool ExecSync;    // wait until ctags has finished; off runs it in the background
    bool ShowConsole; // give the ctags process a console window
    bool AskFolder;   // confirm a found folder in the folder browser
    CountedString ExecPath;
    CountedString ExecOption;
    CountedString TagsFileName;
};

void ApplyDefaults(Settings& settings);
// Releases TagsFileName, ExecOption and ExecPath, in this order.
void ReleaseSettings(Settings& settings);

} // namespace kestrel
