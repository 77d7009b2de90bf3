// The background road and its completion watcher.
//
// The running marker (module state) is set on the editor's thread before the
// watcher starts, and cleared by the watcher only after the editor's thread
// has handled the completion text, so no new run can start before the user
// has seen how the last one ended. The marker is shared by two threads, so
// every access to it is atomic.
//
// The editor may unload the library while ctags still runs. The watcher
// therefore holds a reference to the library from before it starts until its
// last instruction: FreeLibraryAndExitThread drops it and ends the thread
// without returning into code that may be gone.
#include "tagupdate/BackgroundRun.h"

#include <process.h>

#include <new>

#include "plugin/HostInterface.h"
#include "plugin/ModuleState.h"
#include "resources/resource.h"
#include "tagupdate/CtagsProcess.h"
#include "tagupdate/StatusText.h"

namespace kestrel {
namespace {

// The module that holds this code; with takeReference, loaded once more.
HMODULE ThisModule(bool takeReference) {
    DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
    if (!takeReference) {
        flags |= GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    }
    HMODULE module = nullptr;
    GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&CompletionWatcher), &module);
    return module;
}

void ReportCompletion(HANDLE process) {
    WaitForSingleObject(process, INFINITE);
    DWORD exitCode = 0;
    const bool succeeded = GetExitCodeProcess(process, &exitCode) && exitCode == 0;
    CloseHandle(process);

    // The watcher names ctags by this literal, never by the command line,
    // which belonged to the command that has long returned.
    CountedString text;
    if (succeeded) {
        FormatResource(text, IDS_RAN, "ctags");
    } else {
        FormatResource(text, IDS_RAN_WITH_ERROR, "ctags");
        MessageBeep(0);
    }
    SendStatusText(RunningMarker().load(), text);
}

} // namespace

CountedString RunInBackground(const CountedString& commandLine, const CountedString& runFolder,
                              DWORD creationFlags, HWND hwnd) {
    CountedString status;
    CtagsProcess ctags;
    if (!StartCtags(commandLine, runFolder, creationFlags | IDLE_PRIORITY_CLASS, ctags)) {
        FormatResource(status, IDS_COULD_NOT_RUN, commandLine.Chars());
        return status;
    }
    RunningMarker().store(hwnd);
    ctags.thread.Reset();

    const HMODULE reference = ThisModule(true);
    unsigned threadId = 0;
    const UniqueHandle watcher(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, CompletionWatcher, ctags.process.Get(), 0, &threadId)));
    if (watcher) {
        ctags.process.Release(); // the watcher owns it now
    } else {
        // ctags goes on unwatched; the next command must not be refused.
        RunningMarker().store(nullptr);
        ctags.process.Reset();
        if (reference != nullptr) {
            FreeLibrary(reference);
        }
    }
    FormatResource(status, IDS_RUNNING, commandLine.Chars());
    return status;
}

unsigned WINAPI CompletionWatcher(void* process) {
    WatcherProcess().store(static_cast<HANDLE>(process));
    try {
        ReportCompletion(static_cast<HANDLE>(process)); // every string released here
    } catch (const std::bad_alloc&) {
        // No memory for the completion text: the run still ends, and the
        // next command must not be refused.
    }
    RunningMarker().store(nullptr);
    WatcherProcess().store(nullptr);
    FreeLibraryAndExitThread(ThisModule(false), 0);
    return 0;
}

} // namespace kestrel
