// How GoogleTest shows a CountedString (the text, escaped as GoogleTest
// escapes a std::string, then its header), checks that print one when they
// fail, and a table of operations on one string, each with what it leaves.
#pragma once

#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "text/CountedString.h"
#include "text/CountedStringForTests.h"
#include "tests/text/AllocationTracker.h"

namespace kestrel {

inline void PrintTo(const CountedString& s, std::ostream* os) {
    const StringHeader* h = HeaderOf(s);
    // Shows up to the NUL at the stored length, at most 200 bytes of it.
    const int shown = h->length < 200 ? h->length : 200;
    *os << testing::PrintToString(std::string(s.Chars(), static_cast<std::size_t>(shown)))
        << (shown < h->length ? "..." : "") << " (length " << h->length << ", capacity "
        << h->capacity << ", count " << h->count
        << (h == SharedEmptyHeader() ? ", shared empty" : "") << ")";
}

namespace test {

// A block of n bytes of text is n + 13 bytes long: the header and the NUL.
constexpr std::size_t kHeaderAndNul = 13;

// The string's header is consistent: 0 <= length <= capacity, a NUL at index
// length (so Chars() and Length() agree on where the text ends), and a
// positive count unless it is the untouched shared empty block.
inline testing::AssertionResult IsWellFormed(const CountedString& s) {
    if (s.Chars() == nullptr) {
        return testing::AssertionFailure() << "null characters";
    }
    const StringHeader* h = HeaderOf(s);
    const bool sharedEmpty = h == SharedEmptyHeader();
    const char* fault = nullptr;
    if (sharedEmpty && (h->count != -1 || h->length != 0 || h->capacity != 0 || s.Chars()[0])) {
        fault = "shared empty block changed";
    } else if (!sharedEmpty && h->count < 1) {
        fault = "count below 1";
    } else if (h->length < 0 || h->length > h->capacity) {
        fault = "length outside 0..capacity";
    } else if (s.Chars()[h->length] != '\0') {
        return testing::AssertionFailure()
               << "no NUL at index length: " << testing::PrintToString(s) << ", text read as "
               << testing::PrintToString(std::string(s.Chars()));
    } else {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << fault << ": " << testing::PrintToString(s);
}

// The string is well formed and its stored bytes are exactly `expected`.
inline testing::AssertionResult Holds(const CountedString& s, const std::string& expected) {
    testing::AssertionResult formed = IsWellFormed(s);
    if (formed && std::string(s.Chars(), static_cast<std::size_t>(s.Length())) != expected) {
        return testing::AssertionFailure() << "holds " << testing::PrintToString(s) << ", expected "
                                           << testing::PrintToString(expected);
    }
    return formed;
}

// The string holds the one shared empty block, and that block is unchanged.
inline testing::AssertionResult HoldsSharedEmpty(const CountedString& s) {
    if (HeaderOf(s) != SharedEmptyHeader()) {
        return testing::AssertionFailure()
               << "not the shared empty block: " << testing::PrintToString(s);
    }
    return IsWellFormed(s);
}

// The block a string holds after an operation.
enum Ends { InPlace, NewBlock, SharedEmpty };

// One operation on a string that starts as `initial`, given room for `room`
// bytes and held by a second string as well when `shared`; then the text it
// holds, the block it ends on and that block's capacity, the capacities of
// the blocks allocated on the way and the number freed. A second holder
// keeps the old block, alone now, with its text.
struct Step {
    const char* name;
    const char* initial;
    int room;
    bool shared;
    void (*operation)(CountedString& s);
    std::string text = ""; // left out: the empty text on the shared empty block
    Ends ends = SharedEmpty;
    int capacity = 0;
    std::vector<int> blocks = {};
    long deletes = 0;
};

inline void ExpectSteps(std::initializer_list<Step> steps) {
    for (const Step& c : steps) {
        CountedString s(c.initial);
        s.GetBuffer(c.room);
        const CountedString other = c.shared ? s : CountedString();
        const StringHeader* before = HeaderOf(s);
        AllocationWindow window;
        c.operation(s);
        const std::vector<std::size_t> sizes = window.Sizes();
        const long deletes = window.Deletes();
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(Holds(s, c.text));
        if (c.ends == InPlace) {
            EXPECT_EQ(before, HeaderOf(s));
        } else if (c.ends == NewBlock) {
            EXPECT_EQ(1, HeaderOf(s)->count);
        } else {
            EXPECT_TRUE(HoldsSharedEmpty(s));
        }
        EXPECT_EQ(c.capacity, HeaderOf(s)->capacity);
        std::vector<std::size_t> expected;
        for (int capacity : c.blocks) {
            expected.push_back(static_cast<std::size_t>(capacity) + kHeaderAndNul);
        }
        EXPECT_EQ(expected, sizes);
        EXPECT_EQ(c.deletes, deletes);
        if (c.shared) {
            EXPECT_EQ(before, HeaderOf(other));
            EXPECT_EQ(1, before->count);
            EXPECT_TRUE(Holds(other, c.initial));
        }
    }
}

} // namespace test
} // namespace kestrel
