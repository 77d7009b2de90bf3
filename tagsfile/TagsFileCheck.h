// Whether ctags would overwrite a file as its tags file.
#pragma once

#include "text/CountedString.h"

namespace kestrel {

// What a run asks of the tags file before it starts, answered from one look
// at it: a missing file is a new tags file, which answers yes to both.
struct TagsFileFacts {
    // A file renamed onto it may take its place: not a folder, not read-only
    // (ctags is to fail on it as it would), not a link that a rename would
    // split off from its other names (more than one name, or a reparse
    // point).
    bool replaceable = true;
    // ctags would overwrite it: nothing, an empty file, a folder or a
    // device, or a file whose first line is a tag line or an etags form feed
    // line, by the rule ctags applies; not any other file, nor one that
    // cannot be read (ctags refuses both).
    bool overwritable = true;
};

// Opens the file once, in its long form where the ANSI functions cannot take
// the path, sharing it with every other program, and never creates it.
TagsFileFacts InspectTagsFile(const CountedString& path);

} // namespace kestrel
