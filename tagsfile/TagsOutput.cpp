// ctags truncates its -f file at its start and rewrites it sorted at its
// end: a run that fails or is killed, and every reader during a run, would
// see a half-written tags file. So it writes a file of its own beside the
// tags file (same folder, so tag-relative paths come out the same and the
// replacement is a rename on one volume), which replaces the tags file only
// after a good exit.
#include "tagsfile/TagsOutput.h"

#include <cstring>

#include "plugin/UniqueAny.h"
#include "tagupdate/CtagsOptions.h"
#include "tagsfile/FreshFile.h"
#include "tagupdate/Paths.h"
#include "tagsfile/TagsFileCheck.h"
#include "tagsfile/TemporaryFile.h"

namespace kestrel {
namespace {

constexpr DWORD kRetryPauseMs = 50;
// How long a leftover that stays is tried again: a scanner may hold it for a
// moment.
constexpr DWORD kMomentMs = 500;

// A full path, or a name relative to the run folder: it names the same file
// for ctags in the run folder as for the plug-in. Not so a name relative to
// a drive or its root (\tags, D:tags).
bool NamesOneFile(const char* name) {
    const Anchor anchor = AnchorOf(name);
    return name[0] != '\0' && (anchor == Anchor::Folder || anchor == Anchor::Full);
}

// A name that also comes out as one word on the command line.
bool IsPlainName(const char* name) {
    return name[0] != '-' && std::strpbrk(name, " \t\"") == nullptr && NamesOneFile(name);
}

bool IsHeldByOthers(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

} // namespace

TagsOutput ChooseTagsOutput(const Settings& settings, const CountedString& runFolder) {
    // Where a name that ctags gets after -f lies, for the file operations.
    const auto fullPath = [&runFolder](const CountedString& name) {
        return AnchorOf(name.Chars()) == Anchor::Full ? name : PathIn(runFolder, name);
    };
    TagsOutput output;
    output.fileArgument = settings.TagsFileName;
    const char* name = settings.TagsFileName.Chars();
    if (NamesOneFile(name)) {
        output.tagsPath = fullPath(settings.TagsFileName);
        output.lockPath = output.tagsPath + kLockSuffix;
    }
    const TagsFileFacts tagsFile =
        output.tagsPath.IsEmpty() ? TagsFileFacts() : InspectTagsFile(output.tagsPath);
    output.refusedByCtags = !tagsFile.overwritable;

    const char* options = settings.ExecOption.Chars();
    if (!IsPlainName(name) || AsksToAppend(options) || LeavesQuoteOpen(options)) {
        return output;
    }
    // ctags opens its -f file with the ANSI functions, relative to the run
    // folder: a temporary path it cannot open means writing in place.
    const CountedString temporaryName = settings.TagsFileName + kTemporarySuffix;
    const CountedString temporaryPath = fullPath(temporaryName);
    if (!FitsPathLimit(temporaryPath) || !tagsFile.replaceable) {
        return output;
    }
    // One look at the folder: a folder of that name means writing in place,
    // and no entry at all spares the leftover's removal a second look.
    const DWORD entry = EntryAttributes(temporaryPath);
    if (entry != INVALID_FILE_ATTRIBUTES && (entry & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return output;
    }
    output.temporaryFree =
        entry == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND;
    output.fileArgument = temporaryName;
    output.temporaryPath = temporaryPath;
    return output;
}

namespace {

bool RemoveLeftoverOnce(const CountedString& temporaryPath) {
    if (NameIsFree(temporaryPath)) {
        return true; // the common case, told without touching the disk
    }
    // Nothing there after all: the fresh file made in its place goes as it
    // closes.
    UniqueFile fresh;
    const DWORD created = CreateFreshFile(temporaryPath, fresh);
    if (created == ERROR_SUCCESS) {
        return true;
    }
    if (created != ERROR_FILE_EXISTS && created != ERROR_ALREADY_EXISTS) {
        return false;
    }
    // A leftover, or a link, is replaced by a fresh file that goes as it
    // closes; deleting the name would delete a link's target.
    const char* temporary = temporaryPath.Chars();
    if (TakeName(temporaryPath, fresh) != ERROR_SUCCESS) {
        // A read-only leftover is still this plug-in's own file; one that
        // stays all the same gets its attribute back.
        const DWORD attributes = GetFileAttributesA(temporary);
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) !=
                FILE_ATTRIBUTE_READONLY ||
            !SetFileAttributesA(temporary, attributes & ~FILE_ATTRIBUTE_READONLY)) {
            return false;
        }
        if (TakeName(temporaryPath, fresh) != ERROR_SUCCESS) {
            SetFileAttributesA(temporary, attributes);
            return false;
        }
    }
    fresh.Reset();
    // A file removed while others hold it open with delete sharing may stay
    // until its holder lets go; ctags could not make it anew.
    return GetFileAttributesA(temporary) == INVALID_FILE_ATTRIBUTES &&
           GetLastError() == ERROR_FILE_NOT_FOUND;
}

} // namespace

bool RemoveLeftover(const TagsOutput& output) {
    if (output.InPlace() || output.temporaryFree) {
        return true;
    }
    const DWORD start = GetTickCount();
    while (!RemoveLeftoverOnce(output.temporaryPath)) {
        if (GetTickCount() - start >= kMomentMs) {
            return false;
        }
        Sleep(kRetryPauseMs);
    }
    return true;
}

DWORD MakeTemporaryFile(const TagsOutput& output, TemporaryFile& temporary, bool create) {
    return output.InPlace() ? ERROR_SUCCESS
           : create         ? temporary.Make(output.temporaryPath, output.tagsPath)
                            : temporary.Name(output.temporaryPath, output.tagsPath);
}

bool KeepOutput(const TagsOutput& output, TemporaryFile& temporary, bool exitedWell,
                DWORD patienceMs, Pause pause, DWORD* failure) {
    if (output.InPlace()) {
        return exitedWell;
    }
    // The name is acted on only through a handle opened on it and found to
    // be the file made for ctags; while another program holds the file or
    // the tags file, for at most patienceMs.
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD error = ERROR_SUCCESS;
        const UniqueFile file = temporary.Reopen(error);
        if (file && exitedWell && !temporary.WrittenSinceMade(file.Get())) {
            DeleteThrough(file.Get()); // ctags wrote elsewhere: nothing to keep
            temporary.Forget();
            return true;
        }
        if (file && exitedWell && temporary.ReplaceThrough(file.Get())) {
            temporary.Forget();
            return true;
        }
        // Worth waiting for: another program holding the file open without
        // delete sharing, or holding the tags file.
        const DWORD failed = file ? GetLastError() : error;
        const bool held =
            file ? exitedWell && IsHeldByOthers(failed) : error == ERROR_SHARING_VIOLATION;
        if (!held || GetTickCount() - start >= patienceMs) {
            if (exitedWell && failure != nullptr) {
                *failure = failed;
            }
            if (file) {
                DeleteThrough(file.Get());
            }
            temporary.Forget(); // anything else at the name stays as it is
            return false;
        }
        pause(kRetryPauseMs);
    }
}

} // namespace kestrel
