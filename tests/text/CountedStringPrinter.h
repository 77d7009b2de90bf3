// How GoogleTest shows a CountedString, and checks that print one when they
// fail: the text with its bytes above 0x7F escaped, then its header.
#pragma once

#include <cstdio>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "text/CountedString.h"
#include "text/CountedStringForTests.h"

namespace kestrel {

inline std::string EscapedBytes(const char* bytes, std::size_t size) {
    std::string out = "\"";
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

inline void PrintTo(const CountedString& s, std::ostream* os) {
    const StringHeader* h = HeaderOf(s);
    // Shows up to the NUL at the stored length, at most 200 bytes of it.
    const std::size_t shown = h->length < 200 ? static_cast<std::size_t>(h->length) : 200;
    *os << EscapedBytes(s.Chars(), shown)
        << (shown < static_cast<std::size_t>(h->length) ? "..." : "") << " (length " << h->length
        << ", capacity " << h->capacity << ", count " << h->count
        << (h == SharedEmptyHeader() ? ", shared empty" : "") << ")";
}

namespace test {

// The string's header is consistent: 0 <= length <= capacity, a NUL at index
// length (so Chars() and Length() agree on where the text ends), and a
// positive count unless it is the untouched shared empty block.
inline testing::AssertionResult IsWellFormed(const CountedString& s) {
    const StringHeader* h = HeaderOf(s);
    const bool sharedEmpty = h == SharedEmptyHeader();
    if (s.Chars() == nullptr) {
        return testing::AssertionFailure() << "null characters";
    }
    if (sharedEmpty && (h->count != -1 || h->length != 0 || h->capacity != 0 || s.Chars()[0])) {
        return testing::AssertionFailure()
               << "shared empty block changed: " << testing::PrintToString(s);
    }
    if (!sharedEmpty && h->count < 1) {
        return testing::AssertionFailure() << "count below 1: " << testing::PrintToString(s);
    }
    if (h->length < 0 || h->length > h->capacity) {
        return testing::AssertionFailure()
               << "length outside 0..capacity: " << testing::PrintToString(s);
    }
    if (s.Chars()[h->length] != '\0') {
        return testing::AssertionFailure()
               << "no NUL at index length: " << testing::PrintToString(s) << ", text read as "
               << EscapedBytes(s.Chars(), std::char_traits<char>::length(s.Chars()));
    }
    return testing::AssertionSuccess();
}

// The string is well formed and its stored bytes are exactly `expected`.
inline testing::AssertionResult Holds(const CountedString& s, const std::string& expected) {
    testing::AssertionResult formed = IsWellFormed(s);
    if (!formed) {
        return formed;
    }
    if (std::string(s.Chars(), static_cast<std::size_t>(s.Length())) != expected) {
        return testing::AssertionFailure() << "holds " << testing::PrintToString(s) << ", expected "
                                           << EscapedBytes(expected.data(), expected.size());
    }
    return testing::AssertionSuccess();
}

} // namespace test
} // namespace kestrel
