// ctags sorts the whole lines of the file, pseudo-tags among them, once it
// has written them all (the real ctags shows it: two tags of one name in one
// file come in the order of their patterns, not of their place in the file).
//   --sort=yes       compares bytes as unsigned: a double-byte file name comes
//                    after every ASCII one.
//   --sort=foldcase  compares each byte in upper case as a signed char: a
//                    double-byte file name comes before every ASCII one, and
//                    "_" after the letters. Lines equal in upper case keep an
//                    order that depends on where the sort met them, which
//                    moves as other lines come and go.
// Once sorted, a line the same as the one before it is left out: a file
// that declares the same thing twice in the same words has one line for it
// (the unsorted run writes both).
// How a line that is the start of another sorts against it depends on the
// line end the sort saw; no run of ctags was seen to write such a pair, and a
// merge that meets one leaves the file to a full run.
#include "tagsfile/TagsOrder.h"

#include <cstring>

namespace kestrel {
namespace {

int Folded(char c) {
    const signed char s = static_cast<signed char>(c);
    return s >= 'a' && s <= 'z' ? s - ('a' - 'A') : s;
}

Order ByLength(std::string_view a, std::string_view b) {
    return a.size() == b.size() ? Order::Same : Order::Unknown;
}

} // namespace

Order CompareTagLines(std::string_view a, std::string_view b, TagsSort sort) {
    const size_t shorter = a.size() < b.size() ? a.size() : b.size();
    if (sort == TagsSort::Plain) {
        const int bytes = std::memcmp(a.data(), b.data(), shorter);
        if (bytes != 0) {
            return bytes < 0 ? Order::Before : Order::After;
        }
        return ByLength(a, b);
    }
    for (size_t i = 0; i < shorter; ++i) {
        const int left = Folded(a[i]), right = Folded(b[i]);
        if (left != right) {
            return left < right ? Order::Before : Order::After;
        }
    }
    if (a.size() != b.size()) {
        return Order::Unknown;
    }
    return std::memcmp(a.data(), b.data(), shorter) == 0 ? Order::Same : Order::Unknown;
}

bool SortsBefore(std::string_view a, std::string_view b, TagsSort sort) {
    if (sort == TagsSort::FoldCase) {
        const size_t shorter = a.size() < b.size() ? a.size() : b.size();
        for (size_t i = 0; i < shorter; ++i) {
            const int left = Folded(a[i]), right = Folded(b[i]);
            if (left != right) {
                return left < right;
            }
        }
        if (a.size() != b.size()) {
            return a.size() < b.size();
        }
    }
    return a < b; // bytes as unsigned, the shorter first
}

} // namespace kestrel
