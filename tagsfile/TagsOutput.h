// Where ctags writes, and how its output takes the place of the tags file.
#pragma once

#include <windows.h>

#include "settings/Settings.h"
#include "tagsfile/TemporaryFile.h"
#include "text/CountedString.h"

namespace kestrel {

// Added to TagsFileName for the file ctags writes, and for the lock of the
// tags file; no ctags parser claims files of these extensions, so a
// recursive run never reads them.
constexpr char kTemporarySuffix[] = ".kestrel-new";
constexpr char kLockSuffix[] = ".kestrel-lock";

// The tags file and the files beside it that a run uses.
struct TagsOutput {
    // What ctags gets after -f: TagsFileName, or the temporary file's name.
    CountedString fileArgument;
    // Full paths. The tags file's and the lock's are empty for a name
    // relative to a drive; the temporary file's is empty when ctags writes
    // the tags file in place.
    CountedString tagsPath;
    CountedString temporaryPath;
    CountedString lockPath;
    // The tags file is one ctags would refuse to overwrite, as it was when
    // the output was chosen.
    bool refusedByCtags = false;
    // No entry of the temporary file's name was there when the output was
    // chosen: there is no leftover to remove.
    bool temporaryFree = false;

    bool InPlace() const { return temporaryPath.IsEmpty(); }
};

// The temporary route for ctags run in runFolder, or in place where that
// cannot be right: a tags name holding a blank or a quote (it is not quoted
// on the command line), a name ctags reads otherwise ("-" or an option), a
// name relative to a drive or its root; options that ask ctags to append or
// leave a quote open; a tags name that exists as a folder, as a read-only
// file, as a link (more than one name, or a reparse point); a temporary name
// that exists as a folder; a temporary path over the path limit, which ctags
// could not open. The lock is named, and the tags file looked at, on every
// road where the tags file has a path.
TagsOutput ChooseTagsOutput(const Settings& settings, const CountedString& runFolder);

// Removes a temporary file an earlier run left behind, read-only or not,
// or a link of that name (its target stays as it is), trying again for a
// moment while it stays (a scanner may hold it). False when it is still
// there then: a ctags that still writes it may hold it.
bool RemoveLeftover(const TagsOutput& output);

// How the thread that keeps the output pauses between two tries of the
// replacement.
using Pause = void (*)(DWORD ms);

// Makes the temporary file for ctags, once a leftover is gone: ERROR_SUCCESS,
// at once when ctags writes in place, or what Windows said. With
// `create` false it only names it, for TemporaryFile::Create to make later.
DWORD MakeTemporaryFile(const TagsOutput& output, TemporaryFile& temporary, bool create = true);

// After ctags has ended: on a good exit its temporary file replaces the tags
// file, retried while another program holds either open, for at most
// patienceMs. Otherwise, or when the replacement fails, the temporary file
// goes and the tags file stays as it was. A good exit that left the
// temporary file as it was made (ctags wrote elsewhere) touches nothing
// else. Whatever stands at the temporary name when it is no longer the file
// made (nothing, another file, a link, a folder) is left alone, and the run
// fails. True when the run succeeded; a good exit whose output could not be
// kept leaves the error in `failure`, where given.
bool KeepOutput(const TagsOutput& output, TemporaryFile& temporary, bool exitedWell,
                DWORD patienceMs, Pause pause, DWORD* failure = nullptr);

} // namespace kestrel
