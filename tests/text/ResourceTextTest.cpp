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

TEST(LoadResource, TextsAroundTheBufferSizesEndAtTheRightAttempt) {
    struct Case {
        UINT id;
        std::size_t length;
        int capacity; // 253: the 256-byte buffer; 511: 512; 767: 768
        std::vector<std::size_t> blocks;
    };
    const Case cases[] = {
        {IDS_TEST_253, 253, 253, {253 + kHeaderAndNul}},
        {IDS_TEST_254, 254, 511, {511 + kHeaderAndNul}},
        {IDS_TEST_255, 255, 511, {511 + kHeaderAndNul}},
        {IDS_TEST_509, 509, 511, {511 + kHeaderAndNul}},
        {IDS_TEST_510, 510, 767, {511 + kHeaderAndNul, 767 + kHeaderAndNul}},
    };
    for (const Case& c : cases) {
        AllocationWindow window;
        CountedString s;
        const bool loaded = s.LoadResource(c.id);
        const std::vector<std::size_t> blocks = window.Sizes();
        const long deletes = window.Deletes();
        EXPECT_TRUE(loaded) << "id " << c.id;
        EXPECT_TRUE(Holds(s, Digits(c.length))) << "id " << c.id;
        EXPECT_EQ(c.capacity, HeaderOf(s)->capacity) << "id " << c.id;
        EXPECT_EQ(c.blocks, blocks) << "id " << c.id;
        EXPECT_EQ(static_cast<long>(c.blocks.size()) - 1, deletes) << "id " << c.id;
    }
}

TEST(LoadResource, ReplacesAnOldTextOfAnyLength) {
    const std::pair<UINT, std::size_t> texts[] = {
        {IDS_TEST_253, 253}, {IDS_TEST_254, 254}, {IDS_TEST_510, 510}};
    for (const auto& text : texts) {
        for (const char* old : {"old", "a much longer old text than the rest of them"}) {
            CountedString s(old);
            CountedString other(s);
            EXPECT_TRUE(s.LoadResource(text.first));
            EXPECT_TRUE(Holds(s, Digits(text.second))) << "id " << text.first << " over " << old;
            EXPECT_TRUE(Holds(other, old));
            EXPECT_EQ(1, HeaderOf(other)->count);
        }
    }
}

TEST(LoadResource, AnOwnBlockWithRoomNeedsNoAllocation) {
    struct Case {
        UINT id;
        std::size_t length;
        int room;
    };
    const Case cases[] = {
        {IDS_TEST_253, 253, 253}, {IDS_TEST_253, 253, 300}, {IDS_TEST_509, 509, 600}};
    for (const Case& c : cases) {
        CountedString s("x");
        s.GetBuffer(c.room);
        const StringHeader* block = HeaderOf(s);
        AllocationWindow window;
        EXPECT_TRUE(s.LoadResource(c.id));
        EXPECT_EQ(0, window.News()) << "id " << c.id << " into room for " << c.room;
        EXPECT_EQ(block, HeaderOf(s));
        EXPECT_TRUE(Holds(s, Digits(c.length)));
    }
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

TEST(Format, ConversionsAndSharedTargets) {
    CountedString s("before");
    CountedString other(s);
    EXPECT_TRUE(s.Format("%s|%d|%c|%%|%s", "ctags", -42, 'x', CountedString("arg").Chars()));
    EXPECT_TRUE(Holds(s, "ctags|-42|x|%|arg"));
    EXPECT_TRUE(Holds(other, "before"));
    EXPECT_EQ(1, HeaderOf(other)->count);

    // A second format reuses the block.
    const StringHeader* block = HeaderOf(s);
    AllocationWindow window;
    EXPECT_TRUE(s.Format("%s", "again"));
    EXPECT_EQ(0, window.News());
    EXPECT_EQ(block, HeaderOf(s));
    EXPECT_TRUE(Holds(s, "again"));
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

TEST(FormatResource, AMissingTextEmptiesTheTargetAndSucceeds) {
    for (UINT id : {UINT{IDS_TEST_MISSING}, UINT{IDS_TEST_EMPTY}}) {
        CountedString target("not empty");
        CountedString other(target);
        AllocationWindow window;
        EXPECT_TRUE(FormatResource(target, id, "ignored"));
        EXPECT_TRUE(Holds(target, "")) << "id " << id;
        EXPECT_GE(HeaderOf(target)->capacity, 2048);
        EXPECT_TRUE(Holds(other, "not empty"));
        EXPECT_EQ(1, window.StillLive());
    }
}

} // namespace
} // namespace kestrel
