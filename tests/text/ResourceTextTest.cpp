// String-table texts into counted strings, and formatting. The loader reads a
// text into a 256-byte buffer first and then into the string in steps of 256
// bytes until the text has room to spare; the capacity of the result and the
// blocks allocated on the way show which attempt ended the loop.
#include "text/ResourceText.h"

#include <string>
#include <tuple>
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
using test::ExpectSteps;
using test::Holds;
using test::InPlace;
using test::NewBlock;
using test::SharedEmpty;
using S = CountedString; // in the operations of the tables

// n bytes cycling through the digits: the text of IDS_TEST_n.
std::string Digits(std::size_t n) {
    std::string text(n, '0');
    for (std::size_t i = 0; i < n; ++i) {
        text[i] = static_cast<char>('0' + i % 10);
    }
    return text;
}

template <UINT id, bool loaded = true> void Load(CountedString& s) {
    EXPECT_EQ(loaded, s.LoadResource(id));
}

// The capacity shows which buffer ended the loop: 253 (256 bytes), 511 or 767.
TEST(LoadResource, TextsAroundTheBufferSizesEndAtTheRightAttempt) {
    ExpectSteps({
        {"253", "", 0, false, Load<IDS_TEST_253>, Digits(253), NewBlock, 253, {253}, 0},
        {"254", "", 0, false, Load<IDS_TEST_254>, Digits(254), NewBlock, 511, {511}, 0},
        {"255", "", 0, false, Load<IDS_TEST_255>, Digits(255), NewBlock, 511, {511}, 0},
        {"509", "", 0, false, Load<IDS_TEST_509>, Digits(509), NewBlock, 511, {511}, 0},
        {"510", "", 0, false, Load<IDS_TEST_510>, Digits(510), NewBlock, 767, {511, 767}, 1},
    });
}

TEST(LoadResource, ReplacesAnOldTextOfAnyLength) {
    const char* const old = "old";
    const char* const big = "a much longer old text than the rest of them";
    ExpectSteps({
        {"253", old, 0, true, Load<IDS_TEST_253>, Digits(253), NewBlock, 253, {253}, 0},
        {"254", old, 0, true, Load<IDS_TEST_254>, Digits(254), NewBlock, 511, {511}, 0},
        {"510", old, 0, true, Load<IDS_TEST_510>, Digits(510), NewBlock, 767, {511, 767}, 1},
        {"253", big, 0, true, Load<IDS_TEST_253>, Digits(253), NewBlock, 253, {253}, 0},
        {"254", big, 0, true, Load<IDS_TEST_254>, Digits(254), NewBlock, 511, {511}, 0},
        {"510", big, 0, true, Load<IDS_TEST_510>, Digits(510), NewBlock, 767, {511, 767}, 1},
    });
}

TEST(LoadResource, AnOwnBlockWithRoomNeedsNoAllocation) {
    ExpectSteps({
        {"253", "x", 253, false, Load<IDS_TEST_253>, Digits(253), InPlace, 253, {}, 0},
        {"253", "x", 300, false, Load<IDS_TEST_253>, Digits(253), InPlace, 300, {}, 0},
        {"509", "x", 600, false, Load<IDS_TEST_509>, Digits(509), InPlace, 600, {}, 0},
    });
}

TEST(LoadResource, MissingEmptyAndCutTexts) {
    const char* const old = "previous text";
    ExpectSteps({
        {"missing", "", 0, false, Load<IDS_TEST_MISSING, false>},
        {"missing", old, 0, false, Load<IDS_TEST_MISSING, false>, "", InPlace, 13},
        {"empty", "", 0, false, Load<IDS_TEST_EMPTY, false>},
        {"empty", old, 0, false, Load<IDS_TEST_EMPTY, false>, "", InPlace, 13},
        {"embedded NUL", "", 0, false, Load<IDS_TEST_EMBEDDED_NUL>, "ab", NewBlock, 2, {2}, 0},
        {"embedded NUL", old, 0, false, Load<IDS_TEST_EMBEDDED_NUL>, "ab", InPlace, 13, {}, 0},
        {"plug-in name", "", 0, false, Load<4>, "Kestrel", NewBlock, 7, {7}, 0},
        {"plug-in name", old, 0, false, Load<4>, "Kestrel", InPlace, 13, {}, 0},
        {"510", "", 0, false, Load<IDS_TEST_510>, Digits(510), NewBlock, 767, {511, 767}, 1},
        {"510", old, 0, false, Load<IDS_TEST_510>, Digits(510), NewBlock, 767, {511, 767}, 2},
    });
    // The same texts for their ids given to construct-from-text.
    const std::pair<UINT, std::string> texts[] = {
        {IDS_TEST_MISSING, ""}, {IDS_TEST_EMPTY, ""},        {IDS_TEST_EMBEDDED_NUL, "ab"},
        {4, "Kestrel"},         {IDS_TEST_510, Digits(510)},
    };
    for (const auto& text : texts) {
        const CountedString constructed(reinterpret_cast<const char*>(std::uintptr_t{text.first}));
        EXPECT_TRUE(Holds(constructed, text.second)) << "id " << text.first;
    }
}

TEST(ResourceText, CopiesAtMostSizeMinusOneBytesAndAlwaysEndsTheText) {
    // Text id, buffer size, and the bytes copied, which are the first of the text.
    const std::tuple<UINT, int, int> cases[] = {
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
    for (const auto& [id, size, copied] : cases) {
        std::vector<char> buffer(static_cast<std::size_t>(size) + 16, 'x');
        const int result = LoadResourceText(id, buffer.data(), size);
        EXPECT_EQ(copied, result) << "id " << id << " size " << size;
        EXPECT_EQ(Digits(static_cast<std::size_t>(copied)), std::string(buffer.data()))
            << "id " << id << " size " << size;
        EXPECT_EQ('x', buffer[static_cast<std::size_t>(size)]) << "wrote past the buffer";
    }
}

// Outputs of 0, 1, 2047, 2048, 2049 and 5000 bytes.
const std::string kOutputs[] = {Digits(0),    Digits(1),    Digits(2047),
                                Digits(2048), Digits(2049), Digits(5000)};
template <int output> void FormatOutput(CountedString& s) {
    EXPECT_TRUE(s.Format("%s", kOutputs[output].c_str()));
}

TEST(Format, CutsOutputAt2048BytesInsideTheBlock) {
    // A larger block whose every byte is text: a cut output still ends with a
    // NUL at 2048, inside the block.
    const std::string large(6000, 'z');
    const char* const z = large.c_str();
    ExpectSteps({
        {"0 bytes", "", 0, false, FormatOutput<0>, "", NewBlock, 2048, {2048}, 0},
        {"1 byte", "", 0, false, FormatOutput<1>, "0", NewBlock, 2048, {2048}, 0},
        {"2047 bytes", "", 0, false, FormatOutput<2>, Digits(2047), NewBlock, 2048, {2048}, 0},
        {"2048 bytes", "", 0, false, FormatOutput<3>, Digits(2048), NewBlock, 2048, {2048}, 0},
        {"2049 bytes", "", 0, false, FormatOutput<4>, Digits(2048), NewBlock, 2048, {2048}, 0},
        {"5000 bytes", "", 0, false, FormatOutput<5>, Digits(2048), NewBlock, 2048, {2048}, 0},
        {"0 bytes", z, 0, false, FormatOutput<0>, "", InPlace, 6000, {}, 0},
        {"1 byte", z, 0, false, FormatOutput<1>, "0", InPlace, 6000, {}, 0},
        {"2047 bytes", z, 0, false, FormatOutput<2>, Digits(2047), InPlace, 6000, {}, 0},
        {"2048 bytes", z, 0, false, FormatOutput<3>, Digits(2048), InPlace, 6000, {}, 0},
        {"2049 bytes", z, 0, false, FormatOutput<4>, Digits(2048), InPlace, 6000, {}, 0},
        {"5000 bytes", z, 0, false, FormatOutput<5>, Digits(2048), InPlace, 6000, {}, 0},
    });
}

const CountedString kTool("ctags");

TEST(Format, ConversionsAndSharedTargets) {
    const auto format = [](S& s) {
        EXPECT_TRUE(s.Format("%s|%d|%c|%%|%s", "first", -42, 'x', kTool.Chars()));
    };
    const auto again = [](S& s) { EXPECT_TRUE(s.Format("%s", "again")); };
    ExpectSteps({
        {"shared", "before", 0, true, format, "first|-42|x|%|ctags", NewBlock, 2048, {2048}, 0},
        // A second format reuses the block.
        {"own block", "x", 2048, false, again, "again", InPlace, 2048, {}, 0},
    });
}

TEST(Format, TakesItsOwnTextAsFormatOrArgument) {
    const auto format = [](S& s) { EXPECT_TRUE(s.Format(s.Chars(), "0123456789", "x")); };
    const auto argument = [](S& s) { EXPECT_TRUE(s.Format("%s+%s", s.Chars(), s.Chars())); };
    // A block that is replaced, and one written in place.
    ExpectSteps({
        {"format", "%s|%s", 0, false, format, "0123456789|x", NewBlock, 2048, {2048}, 1},
        {"format", "%s|%s", 4096, false, format, "0123456789|x", InPlace, 4096, {}, 0},
        {"argument", "ab", 0, false, argument, "ab+ab", NewBlock, 2048, {2048}, 1},
        {"argument", "ab", 4096, false, argument, "ab+ab", InPlace, 4096, {}, 0},
    });
}

TEST(FormatResource, FormatsAStringTableTextWithTheArguments) {
    // "ctags を実行しました。" in code page 932.
    const std::string ran = "ctags \x82\xF0\x8E\xC0\x8Ds\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81"
                            "B";
    // "選択されたフォルダで %s を実行します。" with a path of Japanese text.
    const std::string runs = "\x91I\x91\xF0\x82\xB3\x82\xEA\x82\xBD\x83t\x83H\x83\x8B\x83_\x82\xC5"
                             " K:\\\x95\x5C \x82\xF0\x8E\xC0\x8Ds\x82\xB5\x82\xDC\x82\xB7\x81"
                             "B";
    const auto run = [](S& s) { EXPECT_TRUE(FormatResource(s, 502, kTool.Chars())); };
    const auto path = [](S& s) { EXPECT_TRUE(FormatResource(s, 501, "K:\\\x95\x5C")); };
    // The format text is read into a block of its own, which goes with the
    // call: only the target's block outlives it.
    ExpectSteps({
        {"text 502", "old", 0, false, run, ran, NewBlock, 2048, {19, 2048}, 2},
        {"text 501", "old", 2048, false, path, runs, InPlace, 2048, {38}, 1},
    });
}

template <UINT id> void FormatMissing(CountedString& s) {
    EXPECT_TRUE(FormatResource(s, id, "ignored"));
}

TEST(FormatResource, AMissingTextEmptiesTheTargetAndSucceeds) {
    ExpectSteps({
        {"missing", "text", 0, true, FormatMissing<IDS_TEST_MISSING>, "", NewBlock, 2048, {2048}},
        {"empty", "text", 0, true, FormatMissing<IDS_TEST_EMPTY>, "", NewBlock, 2048, {2048}},
    });
}

} // namespace
} // namespace kestrel
