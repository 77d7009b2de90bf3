// Path texts read the way Windows reads them.
#include "tagupdate/Paths.h"

#include <windows.h>

#include <tuple>

#include <gtest/gtest.h>

#include "tests/support/Cp932.h"

namespace kestrel::test {
namespace {

TEST(Paths, TellsAnchorAndRoot) {
    for (const auto& [path, anchor, root] :
         {std::tuple{"K:\\a\\main.c", Anchor::Full, 2}, std::tuple{"K:/a", Anchor::Full, 2},
          std::tuple{"K:a", Anchor::Drive, 2}, std::tuple{"K:", Anchor::Drive, 2},
          std::tuple{"\\a", Anchor::Root, 0}, std::tuple{"/a", Anchor::Root, 0},
          std::tuple{"a\\b", Anchor::Folder, 0}, std::tuple{"", Anchor::Folder, 0},
          std::tuple{"\\\\srv\\share\\d\\main.c", Anchor::Full, 11},
          std::tuple{"//srv/share", Anchor::Full, 11},
          std::tuple{"\\\\表\\share\\d", Anchor::Full, 10}, // 表 ends in 0x5C
          std::tuple{"\\\\?\\UNC\\srv\\share\\d\\main.c", Anchor::Full, 17},
          std::tuple{"\\\\.\\unc\\srv\\share", Anchor::Full, 17},
          std::tuple{"\\\\?\\K:\\a\\main.c", Anchor::Full, 6}}) {
        EXPECT_EQ(anchor, AnchorOf(Cp932(path).c_str())) << path;
        EXPECT_EQ(root, RootLength(Cp932(path).c_str())) << path;
    }
}

TEST(Paths, CountsTheLimitInCharacters) {
    std::string path = "K:\\"; // and 256 characters of two bytes: 259 in all
    for (int i = 0; i < 256; ++i) {
        path += Cp932("あ");
    }
    EXPECT_TRUE(FitsPathLimit(CountedString(path.c_str())));
    EXPECT_FALSE(FitsPathLimit(CountedString((path + "a").c_str())));
}

TEST(Paths, LongFormIsFullAndNormalised) {
    for (const auto& [path, longForm] :
         {std::tuple{"K:\\a/b\\..\\c", L"\\\\?\\K:\\a\\c"},
          std::tuple{"\\\\srv\\share\\x", L"\\\\?\\UNC\\srv\\share\\x"},
          std::tuple{"\\\\?\\K:\\a/b", L"\\\\?\\K:\\a/b"},
          std::tuple{"\\\\.\\pipe\\x", L"\\\\.\\pipe\\x"}}) { // a device has no long form
        EXPECT_EQ(std::wstring(longForm), LongFormOf(CountedString(Cp932(path).c_str()))) << path;
    }
}

TEST(DirectoryOf, TakesTextBeforeLastSeparator) {
    EXPECT_STREQ("K:\\work", DirectoryOf(CountedString("K:\\work\\main.c")).Chars());
    EXPECT_STREQ("K:", DirectoryOf(CountedString("K:\\main.c")).Chars());
    EXPECT_STREQ("", DirectoryOf(CountedString("main.c")).Chars());
    EXPECT_STREQ("", DirectoryOf(CountedString()).Chars());
    EXPECT_STREQ("K:", DirectoryOf(CountedString(Cp932("K:\\表").c_str())).Chars());
}

} // namespace
} // namespace kestrel::test
