// Whether ctags would overwrite a file as its tags file.
#pragma once

#include "text/CountedString.h"

namespace kestrel {

// True when `path` names nothing, an empty file, a folder or a device, or a
// file whose first line is a tag line or an etags form feed line, by the rule
// ctags applies before it overwrites its tags file; false for any other file,
// and for one that cannot be read (ctags refuses both).
bool LooksLikeTagsFile(const CountedString& path);

} // namespace kestrel
