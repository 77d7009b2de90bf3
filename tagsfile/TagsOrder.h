// The order in which ctags sorts the lines of a tags file, and which pairs
// of lines it leaves in an order of chance.
#pragma once

#include <string_view>

#include "tagsfile/TagsMerge.h"

namespace kestrel {

enum class Order {
    Before,
    Same, // the same bytes: either order gives the same file
    After,
    // ctags's order of the two follows from nothing a merge can see: lines
    // equal but for case under foldcase, or one line the start of the other.
    Unknown
};

// Compares two lines of a tags file without their line ends.
Order CompareTagLines(std::string_view a, std::string_view b, TagsSort sort);

// A strict total order for sorting lines in memory that agrees with
// CompareTagLines wherever that says Before or After.
bool SortsBefore(std::string_view a, std::string_view b, TagsSort sort);

} // namespace kestrel
