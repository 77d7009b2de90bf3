// The representation of a counted string, for the tests of its sharing and
// capacity rules. The plug-in never looks behind its strings' text.
#pragma once

#include "text/CountedString.h"

namespace kestrel {

struct CountedStringForTests {
    static const StringHeader* Header(const CountedString& s) noexcept { return s.Header(); }
    static const StringHeader* SharedEmpty() noexcept { return CountedString::SharedEmpty(); }
};

// The header that `s` shares with its copies.
inline const StringHeader* HeaderOf(const CountedString& s) noexcept {
    return CountedStringForTests::Header(s);
}

// The one header that every empty string holds.
inline const StringHeader* SharedEmptyHeader() noexcept {
    return CountedStringForTests::SharedEmpty();
}

} // namespace kestrel
