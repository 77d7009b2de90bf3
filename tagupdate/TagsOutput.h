// Where ctags writes, and how its output takes the place of the tags file.
#pragma once

#include <windows.h>

#include "settings/Settings.h"
#include "text/CountedString.h"

namespace kestrel {

// Added to TagsFileName for the file ctags writes; no ctags parser claims
// files of this extension, so a recursive run never reads it.
constexpr char kTemporarySuffix[] = ".kestrel-new";

// The tags file and the temporary file beside it, both full paths. Without
// a temporary file ctags writes the tags file in place.
struct TagsOutput {
    CountedString tagsPath;
    CountedString temporaryPath;

    bool InPlace() const { return temporaryPath.IsEmpty(); }
};

// The temporary route for ctags run in runFolder, or in place where that
// cannot be right: a tags name holding a blank or a quote (it is not quoted
// on the command line), a name ctags reads otherwise ("-" or an option), a
// name relative to a drive or its root, options that ask ctags to append or
// leave a quote open, and a tags name that exists as a folder.
TagsOutput ChooseTagsOutput(const Settings& settings, const CountedString& runFolder);

// Removes a temporary file an earlier run left behind. False when one is
// there and cannot be removed: a ctags that still writes it may hold it.
bool RemoveLeftover(const TagsOutput& output);

// After ctags has ended: on a good exit its temporary file replaces the tags
// file, retried while another program holds the tags file open, for at most
// patienceMs. Otherwise, or when the replacement fails, the temporary file
// goes and the tags file stays as it was. A good exit without a temporary
// file (ctags wrote elsewhere) touches nothing. True when the run succeeded.
bool KeepOutput(const TagsOutput& output, bool exitedWell, DWORD patienceMs);

} // namespace kestrel
