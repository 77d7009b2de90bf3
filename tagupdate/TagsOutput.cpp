// ctags truncates its -f file at its start and rewrites it sorted at its
// end: a run that fails or is killed, and every reader during a run, would
// see a half-written tags file. So it writes a file of its own beside the
// tags file (same folder, so tag-relative paths come out the same and the
// replacement is a rename on one volume), which replaces the tags file only
// after a good exit.
#include "tagupdate/TagsOutput.h"

#include <cstring>

#include "tagupdate/CtagsOptions.h"
#include "tagupdate/Paths.h"

namespace kestrel {
namespace {

constexpr DWORD kRetryPauseMs = 50;

// A name that comes out as one word on the command line and names the same
// file for ctags in the run folder as for the plug-in.
bool IsPlainName(const char* name) {
    if (name[0] == '\0' || name[0] == '-' || std::strpbrk(name, " \t\"") != nullptr) {
        return false;
    }
    const bool relativeToDrive = name[0] == '\\' || name[0] == '/' || name[1] == ':';
    return IsAbsolutePath(name) || !relativeToDrive;
}

bool IsHeldByOthers(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

bool Replace(const char* from, const char* to, DWORD patienceMs) {
    const DWORD start = GetTickCount();
    while (!MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (!IsHeldByOthers(GetLastError()) || GetTickCount() - start >= patienceMs) {
            return false;
        }
        Sleep(kRetryPauseMs);
    }
    return true;
}

} // namespace

TagsOutput ChooseTagsOutput(const Settings& settings, const CountedString& runFolder) {
    TagsOutput output;
    const char* name = settings.TagsFileName.Chars();
    const char* options = settings.ExecOption.Chars();
    if (!IsPlainName(name) || AsksToAppend(options) || LeavesQuoteOpen(options)) {
        return output;
    }
    output.tagsPath =
        IsAbsolutePath(name) ? settings.TagsFileName : PathIn(runFolder, settings.TagsFileName);
    if (IsFolder(output.tagsPath)) {
        return output; // a folder cannot be replaced by a file
    }
    output.temporaryPath = output.tagsPath + kTemporarySuffix;
    return output;
}

bool RemoveLeftover(const TagsOutput& output) {
    if (output.InPlace() || DeleteFileA(output.temporaryPath.Chars())) {
        return true;
    }
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool KeepOutput(const TagsOutput& output, bool exitedWell, DWORD patienceMs) {
    if (output.InPlace()) {
        return exitedWell;
    }
    const char* temporary = output.temporaryPath.Chars();
    if (exitedWell && GetFileAttributesA(temporary) == INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    if (exitedWell && Replace(temporary, output.tagsPath.Chars(), patienceMs)) {
        return true;
    }
    DeleteFileA(temporary);
    return false;
}

} // namespace kestrel
