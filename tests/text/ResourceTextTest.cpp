// String-table texts into counted strings, and formatting. The loader reads a
// text into a 256-byte buffer first and then into the string in steps of 256
// bytes until the text has room to spare; the capacity of the result and the
// blocks allocated on the way show which attempt ended the loop.
#include "text/ResourceText.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/text/AllocationTracker.h"
#include "tests/text/CountedStringPrinter.h"
#include "tests/text/TestStringIds.h"
#include "text/CountedString.h"
#include "text/CountedStringForTests.h"

namespace kestrel {
namespace {

using test::AllocationWindow;
using test::Ends;
using test::ExpectSteps;
using test::Holds;
using test::kHeaderAndNul;

// n bytes cycling through the digits, so a cut shows where it fell: the text
// of IDS_TEST_n.
std::string Digits(std::size_t n) {
    std::string text(n, '0');
    for (std::size_t i = 0; i < n; ++i) {
        text[i] = static_cast<char>('0' + i % 10);
    }
    return text;
}

template <UINT id> void Load(CountedString& s) {
    EXPECT_TRUE(s.LoadResource(id));
}

// The capacity shows which attempt ended the loop: 253 the 256-byte buffer,
// 511 the one of 512 bytes, 767 the one of 768.
TEST(LoadResource, TextsAroundTheBufferSizesEndAtTheRightAttempt) {
    ExpectSteps({
        {"253", "", 0, false, Load<IDS_TEST_253>, Digits(253), Ends::NewBlock, 253, {253}, 0},
        {"254", "", 0, false, Load<IDS_TEST_254>, Digits(254), Ends::NewBlock, 511, {511}, 0},
        {"255", "", 0, false, Load<IDS_TEST_255>, Digits(255), Ends::NewBlock, 511, {511}, 0},
        {"509", "", 0, false, Load<IDS_TEST_509>, Digits(509), Ends::NewBlock, 511, {511}, 0},
        {"510", "", 0, false, Load<IDS_TEST_510>, Digits(510), Ends::NewBlock, 767, {511, 767}, 1},
    });
}

TEST(LoadResource, ReplacesAnOldTextOfAnyLength) {
    const char* const old = "old";
    const char* const big = "a much longer old text than the rest of them";
    ExpectSteps({
        {"253", old, 0, true, Load<IDS_TEST_253>, Digits(253), Ends::NewBlock, 253, {253}, 0},
        {"254", old, 0, true, Load<IDS_TEST_254>, Digits(254), Ends::NewBlock, 511, {511}, 0},
        {"510", old, 0, true, Load<IDS_TEST_510>, Digits(510), Ends::NewBlock, 767, {511, 767}, 1},
        {"253", big, 0, true, Load<IDS_TEST_253>, Digits(253), Ends::NewBlock, 253, {253}, 0},
        {"254", big, 0, true, Load<IDS_TEST_254>, Digits(254), Ends::NewBlock, 511, {511}, 0},
        {"510", big, 0, true, Load<IDS_TEST_510>, Digits(510), Ends::NewBlock, 767, {511, 767}, 1},
    });
}

TEST(LoadResource, AnOwnBlockWithRoomNeedsNoAllocation) {
    ExpectSteps({
        {"253", "x", 253, false, Load<IDS_TEST_253>, Digits(253), Ends::InPlace, 253, {}, 0},
        {"253", "x", 300, false, Load<IDS_TEST_253>, Digits(253), Ends::InPlace, 300, {}, 0},
        {"509", "x", 600, false, Load<IDS_TEST_509>, Digits(509), Ends::InPlace, 600, {}, 0},
    });
}

TEST(LoadResource, MissingEmptyAndCutTexts) {
    struct Case {
        const char* name;
        UINT id;
        bool result;
        std::string expected;
    };
    const Case cases[] = {
        {"missing", IDS_TEST_MISSING, false, ""},
        {"empty", IDS_TEST_EMPTY, false, ""},
        {"embedded NUL", IDS_TEST_EMBEDDED_NUL, true, "ab"},
        {"plug-in name", 4, true, "Kestrel"},
        {"510 bytes", IDS_TEST_510, true, Digits(510)},
    };
    for (const Case& c : cases) {
        for (const char* before : {"", "previous text"}) {
            CountedString s(before);
            EXPECT_EQ(c.result, s.LoadResource(c.id)) << c.name;
            EXPECT_TRUE(Holds(s, c.expected)) << c.name << " over \"" << before << "\"";
        }
        const CountedString constructed(reinterpret_cast<const char*>(std::uintptr_t{c.id}));
        EXPECT_TRUE(Holds(constructed, c.expected)) << c.name;
    }
}

TEST(ResourceText, CopiesAtMostSizeMinusOneBytesAndAlwaysEndsTheText) {
    struct Case {
        UINT id;
        int size;
        int result; // the bytes copied, which are the first of the text
    };
    const Case cases[] = {
        {IDS_TEST_253, 256, 253},
        {IDS_TEST_255, 256, 255},
        {IDS_TEST_510, 256, 255},
        {IDS_TEST_510, 512, 510},
        {IDS_TEST_510, 511, 510},
        {IDS_TEST_510, 510, 509},
        {4, 1, 0},
        {IDS_TEST_MISSING, 256, 0},
        {IDS_TEST_EMPTY, 256, 0},
    };
    for (const Case& c : cases) {
        std::vector<char> buffer(static_cast<std::size_t>(c.size) + 16, 'x');
        const int result = LoadResourceText(c.id, buffer.data(), c.size);
        EXPECT_EQ(c.result, result) << "id " << c.id << " size " << c.size;
        EXPECT_EQ(Digits(static_cast<std::size_t>(c.result)), std::string(buffer.data()))
            << "id " << c.id << " size " << c.size;
        EXPECT_EQ('x', buffer[static_cast<std::size_t>(c.size)]) << "wrote past the buffer";
    }
}

TEST(Format, CutsOutputAt2048BytesInsideTheBlock) {
    struct Case {
        std::size_t output;
        std::size_t length;
    };
    const Case cases[] = {{0, 0}, {1, 1}, {2047, 2047}, {2048, 2048}, {2049, 2048}, {5000, 2048}};
    for (const Case& c : cases) {
        const std::string argument = Digits(c.output);
        {
            AllocationWindow window;
            CountedString s;
            EXPECT_TRUE(s.Format("%s", argument.c_str()));
            const std::vector<std::size_t> blocks = window.Sizes();
            EXPECT_TRUE(Holds(s, argument.substr(0, c.length))) << c.output << " bytes";
            EXPECT_EQ(2048, HeaderOf(s)->capacity) << c.output << " bytes";
            EXPECT_EQ(std::vector<std::size_t>{2048 + kHeaderAndNul}, blocks);
        }
        {
            // A larger block whose every byte is text: the cut output still
            // ends with a NUL at 2048, inside the block.
            CountedString s;
            char* buffer = s.GetBuffer(6000);
            std::memset(buffer, 'z', 6001);
            s.ReleaseBuffer(6000);
            const StringHeader* block = HeaderOf(s);
            AllocationWindow window;
            EXPECT_TRUE(s.Format("%s", argument.c_str()));
            EXPECT_EQ(0, window.News());
            EXPECT_EQ(block, HeaderOf(s));
            EXPECT_EQ(6000, HeaderOf(s)->capacity);
            EXPECT_TRUE(Holds(s, argument.substr(0, c.length)))
                << c.output << " bytes, large block";
        }
    }
}

const CountedString kArgument("arg");

TEST(Format, ConversionsAndSharedTargets) {
    const auto format = [](CountedString& s) {
        EXPECT_TRUE(s.Format("%s|%d|%c|%%|%s", "ctags", -42, 'x', kArgument.Chars()));
    };
    const auto again = [](CountedString& s) { EXPECT_TRUE(s.Format("%s", "again")); };
    ExpectSteps({
        {"shared", "before", 0, true, format, "ctags|-42|x|%|arg", Ends::NewBlock, 2048, {2048}, 0},
        // A second format reuses the block.
        {"own block", "x", 2048, false, again, "again", Ends::InPlace, 2048, {}, 0},
    });
}

TEST(Format, TakesItsOwnTextAsFormatOrArgument) {
    for (int room : {0, 4096}) { // a block that is replaced, and one written in place
        CountedString format;
        format.GetBuffer(room);
        format = "%s|%s";
        EXPECT_TRUE(format.Format(format.Chars(), "0123456789", "x"));
        EXPECT_TRUE(Holds(format, "0123456789|x")) << "room " << room;

        CountedString argument;
        argument.GetBuffer(room);
        argument = "ab";
        EXPECT_TRUE(argument.Format("%s+%s", argument.Chars(), argument.Chars()));
        EXPECT_TRUE(Holds(argument, "ab+ab")) << "room " << room;
    }
}

TEST(FormatResource, FormatsAStringTableTextWithTheArguments) {
    const CountedString tool("ctags");
    CountedString target("old");
    AllocationWindow window;
    EXPECT_TRUE(FormatResource(target, 502, tool.Chars()));
    const long stillLive = window.StillLive();
    // "ctags を実行しました。" in code page 932.
    EXPECT_TRUE(Holds(target, "ctags \x82\xF0\x8E\xC0\x8Ds\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81"
                              "B"));
    EXPECT_EQ(1, stillLive) << "only the target's block outlives the call";

    // "選択されたフォルダで %s を実行します。" with a path of Japanese text.
    EXPECT_TRUE(FormatResource(target, 501, "K:\\\x95\x5C"));
    EXPECT_TRUE(Holds(target, "\x91I\x91\xF0\x82\xB3\x82\xEA\x82\xBD\x83t\x83H\x83\x8B\x83_\x82\xC5"
                              " K:\\\x95\x5C \x82\xF0\x8E\xC0\x8Ds\x82\xB5\x82\xDC\x82\xB7\x81"
                              "B"));
}

template <UINT id> void FormatMissing(CountedString& s) {
    EXPECT_TRUE(FormatResource(s, id, "ignored"));
}

TEST(FormatResource, AMissingTextEmptiesTheTargetAndSucceeds) {
    ExpectSteps({
        {"missing",
         "not empty",
         0,
         true,
         FormatMissing<IDS_TEST_MISSING>,
         "",
         Ends::NewBlock,
         2048,
         {2048},
         0},
        {"empty",
         "not empty",
         0,
         true,
         FormatMissing<IDS_TEST_EMPTY>,
         "",
         Ends::NewBlock,
         2048,
         {2048},
         0},
    });
}

} // namespace
} // namespace kestrel
