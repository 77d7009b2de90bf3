// The pseudo-tags at the head of a tags file ("!_TAG_..."), and whether a
// merge can keep them as a full run would write them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tagsfile/TagsMerge.h"

namespace kestrel {

// Lines without their ends.
using PseudoTagLines = std::vector<std::string>;

bool IsPseudoTag(std::string_view line);

// What the merge knows of a run: the old file's pseudo-tags, and those of
// ctags's run on the changed files when there was one.
struct HeaderChange {
    const PseudoTagLines* old = nullptr;
    const PseudoTagLines* fresh = nullptr; // null: ctags did not run
    bool dropsLines = false;               // files whose lines go
    TagsSort sort = TagsSort::Plain;
    TagsFormat format = TagsFormat::UCtags;
};

// Whether a full run of the changed tree would write exactly the old
// pseudo-tags.
bool HeaderStays(const HeaderChange& change);

} // namespace kestrel
