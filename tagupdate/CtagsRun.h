// The steps of a ctags run that the synchronous road and the completion
// watcher share: start or fail, wait and read the exit code, keep or drop
// the output, the closing text and its beep.
#pragma once

#include <windows.h>

#include "plugin/UniqueAny.h"
#include "settings/Settings.h"
#include "tagupdate/TagsOutput.h"
#include "text/CountedString.h"

namespace kestrel {

// What one command hands to either road.
struct CtagsCommand {
    CountedString shown;   // the command line as configured: every status text names it
    CountedString started; // what the process gets: -f names the temporary file, if any
    CountedString execPath;
    CountedString runFolder;
    TagsOutput output;
};

// Chooses the output and the command line that goes with it.
CtagsCommand PrepareCommand(const Settings& settings, const CountedString& commandLine,
                            const CountedString& runFolder);

// A started run: everything its end needs, owned.
struct CtagsRun {
    UniqueHandle process;
    TagsOutput output;
};

// Removes a leftover temporary file, finds the program and starts it. False
// with message 503 in status when it could not.
bool StartRun(const CtagsCommand& command, DWORD creationFlags, CtagsRun& run,
              CountedString& status);

// Waits for ctags to end, reads its exit code, closes the process and keeps
// or drops its output (retrying a held tags file for up to patienceMs).
// Allocates nothing. True when the run succeeded.
bool FinishRun(CtagsRun& run, DWORD patienceMs);

// Message 502, or 507 followed by the beep, formatted with `name`.
void FormatEnd(CountedString& text, bool succeeded, const char* name);

} // namespace kestrel
