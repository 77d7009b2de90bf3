// The steps of a ctags run that the synchronous road and the completion
// watcher share: start or fail, wait and read the exit code, keep or drop
// the output, the closing text and its beep.
#pragma once

#include <windows.h>

#include "plugin/UniqueAny.h"
#include "settings/Settings.h"
#include "tagupdate/DiskGuard.h"
#include "tagupdate/ErrorStream.h"
#include "tagupdate/FailureReason.h"
#include "tagsfile/TagsOutput.h"
#include "tagsfile/TemporaryFile.h"
#include "text/CountedString.h"

namespace kestrel {

// "ExecPath" ExecOption -f TagsFileName, nothing quoted, trimmed or escaped
// but the path, which loses one pair of double quotes around it first.
CountedString BuildCommandLine(const Settings& settings);
// The same with `tagsName` in place of TagsFileName.
CountedString BuildCommandLine(const Settings& settings, const CountedString& tagsName);

// What one command hands to either road.
struct CtagsCommand {
    CountedString shown;    // the command line as configured: every status text names it
    CountedString started;  // what the process gets: -f names the temporary file, if any
    CountedString execPath; // without surrounding quotes
    CountedString runFolder;
    CountedString options;  // ExecOption
    CountedString tagsName; // TagsFileName
    TagsOutput output;
    // The word of the options that would make ctags clobber its default
    // tags file or fail: a file operand, an argument or a double quote left
    // open before -f. Empty when there is none.
    CountedString misreadWord;
    // ctags's error stream is read; off with its console shown, where it
    // writes as it always has.
    bool readsErrors = true;
    // The user held Shift when choosing the command: ctags runs on the whole
    // tree, whatever changed.
    bool shiftHeld = false;
};

// Chooses the output and the command line that goes with it.
CtagsCommand PrepareCommand(const Settings& settings, const CountedString& commandLine,
                            const CountedString& runFolder);

// A run: everything its start and its end need, owned.
struct CtagsRun {
    CountedString program; // for CreateProcessA; empty: the command line's
    TagsOutput output;
    UniqueFile lock;         // held until the output has been kept or dropped
    TemporaryFile temporary; // made before ctags starts, unless it writes in place
    UniqueHandle process;
    UniqueHandle thread;  // ctags's first thread, suspended until ResumeRun
    UniqueHandle job;     // ends ctags and what it started; null: ctags alone
    UniqueHandle jobPort; // the job's reports; null: the job is asked in turn
    DiskGuard disk;       // of the tags file's volume
    ErrorStream errors;   // read while ctags runs, where the command reads it
    // How ctags ended: its exit code, and the error of Windows where that
    // could not be read or the output could not be kept (0: none).
    DWORD exitCode = 0;
    DWORD endError = 0;
};

// Everything before ctags starts, in this order: finds the program, locks
// the tags file, refuses a tags file ctags would not overwrite, removes a
// leftover temporary file and, unless the caller makes it later with
// MakeRunTemporary, makes the temporary file anew; `status` is left as it
// is. When it could not:
// false, with message 503 in status (options ctags would misread, a program
// found nowhere and the lock among what could not be made), 507 after a beep
// for a file ctags would refuse to overwrite, both followed by the reason,
// or 508 after a beep when another editor's run holds the tags file.
bool PrepareRun(const CtagsCommand& command, CtagsRun& run, CountedString& status,
                bool makeTemporary = true);

// Makes the prepared run's temporary file, which must exist before ctags
// runs: ERROR_SUCCESS, or the error of Windows. Allocates nothing.
DWORD MakeRunTemporary(CtagsRun& run);

// Starts the prepared run's ctags, suspended, with command.started, where a
// batch file that the lookup found is named by its full path (the command
// interpreter would look for the first word in the run folder first), its
// error stream read where the command says so. False, with message 503 and
// Windows's reason in status and the lock let go, when CreateProcessA fails.
bool LaunchRun(const CtagsCommand& command, DWORD creationFlags, CtagsRun& run,
               CountedString& status);

// Lets the launched ctags run: in its job, once the free space has been
// read. A ctags that cannot be resumed is ended, and its run then fails.
// Allocates nothing.
void ResumeRun(CtagsRun& run);

// How the thread that ends a run waits: until the run has ended (every
// process of its job, or ctags where it has none), asking the disk guard as
// soon as ctags has been let go and then as often as it asks, at least every
// kDiskGuardMs (false as soon as it has no room, the run still going), and
// collecting ctags's error stream whenever it has something; and between
// tries of the replacement.
struct RunWaits {
    bool (*untilEnded)(CtagsRun& run);
    Pause pause;
};
// Waits that only wait, on a thread other than the editor's: the watcher, or
// the one the synchronous road ends its run on.
extern const RunWaits kPlainWaits;

// How a run ended: ctags succeeded and its output is kept, it failed, it
// was stopped before it filled the disk, or it never ran (endError says why).
enum class RunEnd { Ran, Failed, Stopped, NotStarted };

// Waits for the run to end: ctags and every process it started, which may
// write on after ctags itself has ended (a wrapper that starts ctags and
// returns). Or ends them all when the disk guard says so, and waits until
// they have ended. Only then reads ctags's exit code, closes the process
// and the job, keeps or drops the output (retrying a held tags file for up
// to patienceMs) and lets go of the lock; what tells why it failed stays in
// the run. Allocates nothing.
RunEnd FinishRun(CtagsRun& run, DWORD patienceMs, const RunWaits& waits);

// The closing texts of a run, made before it starts: message 502, 507, 509
// and 503, formatted with `name`; 507 and 503 with room for their reason.
struct EndTexts {
    CountedString ran;
    CountedString ranWithError;
    CountedString stopped;
    CountedString couldNotRun;
};
EndTexts FormatEndTexts(const char* name);

// The closing text for the run's end, after the beep for one that failed or
// was stopped; a failed run's text gets its reason: Windows's, where it
// failed for Windows, else ctags's last message, else its exit code.
// Allocates nothing.
const CountedString& EndText(EndTexts& texts, RunEnd end, const CtagsRun& run);

} // namespace kestrel
