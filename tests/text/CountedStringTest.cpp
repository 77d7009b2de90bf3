#include "text/CountedString.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(CountedString, DefaultHoldsSharedEmpty) {
    CountedString s;
    EXPECT_EQ(CountedString::SharedEmpty(), s.Header());
    EXPECT_EQ(-1, s.Header()->count);
}

TEST(CountedString, LoadsStringTable) {
    CountedString s(reinterpret_cast<const char*>(static_cast<std::uintptr_t>(4)));
    EXPECT_STREQ("Kestrel", s.Chars());
}

} // namespace
} // namespace kestrel
