// Representation, sharing and allocation of the counted string: which block a
// string holds after each operation, what that block's header says, and how
// many blocks the operation allocated and freed.
#include "text/CountedString.h"
#include "text/CountedStringForTests.h"

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "tests/text/AllocationTracker.h"
#include "tests/text/CountedStringPrinter.h"

namespace kestrel {
namespace {

using test::AllocationWindow;
using test::ExpectSteps;
using test::Holds;
using test::HoldsSharedEmpty;
using test::InPlace;
using test::kHeaderAndNul;
using test::LiveBlockSize;
using test::NewBlock;
using test::SharedEmpty;

const CountedString kEmpty;
using S = CountedString; // in the operations of the tables

// Every empty result holds the shared empty block: making one allocates
// nothing, and destroying the temporaries on the way frees nothing.
TEST(CountedString, EmptyResultsHoldSharedEmptyAndAllocateNothing) {
    const auto buffer = [](S& s) {
        s.GetBuffer(0);
        s.ReleaseBuffer(-1);
    };
    ExpectSteps({
        {"default", "", 0, false, [](S& s) { s = S(); }},
        {"from empty text", "", 0, false, [](S& s) { s = S(""); }},
        {"from null", "", 0, false, [](S& s) { s = S(nullptr); }},
        {"missing id", "", 0, false, [](S& s) { s = S(reinterpret_cast<const char*>(0xFFF0)); }},
        {"left(0)", "abc", 0, true, [](S& s) { s = s.Left(0); }},
        {"left(-5)", "abc", 0, true, [](S& s) { s = s.Left(-5); }},
        {"left(3) of empty", "", 0, false, [](S& s) { s = s.Left(3); }},
        {"empty + empty", "", 0, false, [](S& s) { s = s + kEmpty; }},
        {"empty + \"\"", "", 0, false, [](S& s) { s = s + ""; }},
        {"empty + null", "", 0, false, [](S& s) { s = s + static_cast<const char*>(nullptr); }},
        {"copy of empty", "", 0, false, [](S& s) { s = S(kEmpty); }},
        {"empty assigned to empty", "", 0, false, [](S& s) { s = kEmpty; }},
        {"empty text assigned to empty", "", 0, false, [](S& s) { s = ""; }},
        {"get-buffer(0) and release", "", 0, false, buffer},
    });
}

TEST(CountedString, FreshBlockLayout) {
    AllocationWindow window;
    CountedString s("abc");
    const std::vector<std::size_t> sizes = window.Sizes();
    const StringHeader* h = HeaderOf(s);
    EXPECT_EQ(reinterpret_cast<const char*>(h) + 12, s.Chars());
    EXPECT_EQ(1, h->count);
    EXPECT_EQ(3, h->capacity);
    EXPECT_TRUE(Holds(s, "abc")); // length 3, and a NUL at index 3
    // The header is the start of the block that operator new returned.
    EXPECT_EQ(3 + kHeaderAndNul, LiveBlockSize(h));
    EXPECT_EQ(std::vector<std::size_t>{3 + kHeaderAndNul}, sizes);
}

TEST(CountedString, CopiesShareOneBlockAndCountHolders) {
    CountedString abc("abc");
    const StringHeader* block = HeaderOf(abc);
    AllocationWindow window;
    {
        CountedString copy(abc);
        EXPECT_EQ(abc.Chars(), copy.Chars());
        EXPECT_EQ(2, block->count);
        {
            CountedString third = copy;
            EXPECT_EQ(3, block->count);
        }
        EXPECT_EQ(2, block->count);
        CountedString moved(std::move(copy));
        EXPECT_EQ(2, block->count);
        EXPECT_TRUE(HoldsSharedEmpty(copy));
        EXPECT_EQ(abc.Chars(), moved.Chars());
    }
    EXPECT_EQ(1, block->count);
    EXPECT_EQ(0, window.News());
    EXPECT_EQ(0, window.Deletes());
    EXPECT_TRUE(Holds(abc, "abc"));
}

TEST(CountedString, AssignSharesAndFreesOnlyTheLastHoldersBlock) {
    CountedString abc("abc");
    CountedString xyz("xyz");
    CountedString xyzCopy(xyz);
    const StringHeader* xyzBlock = HeaderOf(xyz);
    AllocationWindow window;

    xyz = abc; // xyz's old block still has a holder
    EXPECT_EQ(abc.Chars(), xyz.Chars());
    EXPECT_EQ(2, HeaderOf(abc)->count);
    EXPECT_EQ(1, xyzBlock->count);
    EXPECT_EQ(0, window.Deletes());

    xyzCopy = abc; // the last holder lets go: freed here
    EXPECT_EQ(3, HeaderOf(abc)->count);
    EXPECT_EQ(1, window.Deletes());
    EXPECT_EQ(0u, LiveBlockSize(xyzBlock));

    xyz = static_cast<const CountedString&>(xyz); // itself
    xyz = abc;                                    // already the same block
    EXPECT_EQ(3, HeaderOf(abc)->count);

    CountedString target;
    target = std::move(xyzCopy);
    EXPECT_EQ(3, HeaderOf(abc)->count);
    EXPECT_TRUE(HoldsSharedEmpty(xyzCopy));

    EXPECT_EQ(0, window.News());
    EXPECT_EQ(1, window.Deletes());
    EXPECT_TRUE(Holds(target, "abc"));
}

TEST(CountedString, AssigningEmptyKeepsAnOwnBlockAndDropsASharedOne) {
    ExpectSteps({
        {"own block", "abcdef", 0, false, [](S& s) { s = kEmpty; }, "", InPlace, 6},
        {"shared block", "abcdef", 0, true, [](S& s) { s = kEmpty; }},
    });
}

TEST(CountedString, MovingAnEmptyTemporaryLetsGoOfTheBlock) {
    // A move: the block is given up, not kept.
    ExpectSteps({
        {"own block", "abcdef", 0, false, [](S& s) { s = S(); }, "", SharedEmpty, 0, {}, 1},
        {"shared block", "abcdef", 0, true, [](S& s) { s = S(); }},
    });
}

TEST(CountedString, AssignTextReusesAnOwnBlockWithRoom) {
    const auto shorter = [](S& s) {
        s = "xy";
        s = static_cast<const char*>(nullptr);
        s = "uvw";
    };
    const auto longer = [](S& s) { s = "longer than six"; };
    ExpectSteps({
        {"shorter texts", "abcdef", 0, false, shorter, "uvw", InPlace, 6},
        // Its own characters as the text: the tail moves to the front.
        {"own tail", "abcdef", 0, false, [](S& s) { s = s.Chars() + 2; }, "cdef", InPlace, 6},
        {"longer", "abcdef", 0, false, longer, "longer than six", NewBlock, 15, {15}, 1},
        // Shared: a fresh exact block, the other holder keeps the old one.
        {"shared", "longer than six", 0, true, [](S& s) { s = "new"; }, "new", NewBlock, 3, {3}},
    });
}

template <int n> void LeftOf(CountedString& s) {
    s = s.Left(n);
}

// The other holder keeps the operand: a result never shares its block.
TEST(CountedString, LeftMakesExactNewBlocks) {
    ExpectSteps({
        {"left(3)", "abc", 0, true, LeftOf<3>, "abc", NewBlock, 3, {3}, 0},
        {"left(10)", "abc", 0, true, LeftOf<10>, "abc", NewBlock, 3, {3}, 0},
        {"left(2)", "abc", 0, true, LeftOf<2>, "ab", NewBlock, 2, {2}, 0},
        {"left(1)", "abc", 0, true, LeftOf<1>, "a", NewBlock, 1, {1}, 0},
    });
}

TEST(CountedString, ConcatenationMakesAnExactBlockNeverShared) {
    static const CountedString def("def");
    const auto plusNull = [](S& s) { s = s + static_cast<const char*>(nullptr); };
    ExpectSteps({
        {"abc + empty", "abc", 0, true, [](S& s) { s = s + kEmpty; }, "abc", NewBlock, 3, {3}},
        {"empty + abc", "abc", 0, true, [](S& s) { s = kEmpty + s; }, "abc", NewBlock, 3, {3}},
        {"abc + null", "abc", 0, true, plusNull, "abc", NewBlock, 3, {3}},
        {"abc + \"\"", "abc", 0, true, [](S& s) { s = s + ""; }, "abc", NewBlock, 3, {3}},
        {"abc + def", "abc", 0, true, [](S& s) { s = s + def; }, "abcdef", NewBlock, 6, {6}},
        {"abc + \"de\"", "abc", 0, true, [](S& s) { s = s + "de"; }, "abcde", NewBlock, 5, {5}},
        {"empty + xyz", "abc", 0, true, [](S& s) { s = kEmpty + "xyz"; }, "xyz", NewBlock, 3, {3}},
    });
    EXPECT_EQ(1, HeaderOf(def)->count);
}

TEST(CountedString, FindLastWalksCharactersOfCodePage932) {
    // 0x95 0x5C is one character whose second byte is a backslash, 0x82 0x61
    // one whose second byte is the letter a; half-width katakana (0xB1, 0xB2)
    // are single bytes above 0x7F.
    const std::tuple<const char*, char, int> cases[] = {{"a\\b\\c", '\\', 3},
                                                        {"abc", '\\', -1},
                                                        {"abc", '\0', -1},
                                                        {"", '\0', -1},
                                                        {"", '\\', -1},
                                                        {"\\", '\\', 0},
                                                        {"ab\x95\x5C", '\\', -1},
                                                        {"y:\\\x95\x5C\\x", '\\', 5},
                                                        {"\x95\x5C", '\x95', 0},
                                                        {"a\x82\x61", 'a', 0},
                                                        {"\x82\x61\x82\x61", 'a', -1},
                                                        {"\xB1\\\xB2", '\\', 1},
                                                        {"\xB1\\\xB2", '\xB2', 2}};
    for (const auto& [text, c, expected] : cases) {
        const CountedString s(text);
        EXPECT_EQ(expected, s.FindLast(c))
            << testing::PrintToString(s) << " looking for byte " << (c & 0xFF);
    }
}

TEST(CountedString, FindLastStopsAtTheFirstNul) {
    CountedString s;
    std::memcpy(s.GetBuffer(4), "a\\\0\\", 4);
    s.ReleaseBuffer(4);
    ASSERT_EQ(4, s.Length());
    EXPECT_EQ(1, s.FindLast('\\'));
}

template <int n> void GetBufferOf(CountedString& s) {
    char* buffer = s.GetBuffer(n);
    EXPECT_EQ(s.Chars(), buffer);
}

TEST(CountedString, GetBufferGrowsExactlyAndKeepsTheText) {
    const auto grow = [](S& s) {
        const StringHeader* small = HeaderOf(s);
        GetBufferOf<10>(s);
        EXPECT_EQ(0u, LiveBlockSize(small)); // freed, and not reused yet
    };
    ExpectSteps({
        {"own block too small", "abc", 0, false, grow, "abc", NewBlock, 10, {10}, 1},
        {"request 2 with room", "abc", 10, false, GetBufferOf<2>, "abc", InPlace, 10},
        {"request 10 with room", "abc", 10, false, GetBufferOf<10>, "abc", InPlace, 10},
        {"request -1 with room", "abc", 10, false, GetBufferOf<-1>, "abc", InPlace, 10},
    });
}

TEST(CountedString, GetBufferOnASharedBlockTakesAPrivateCopy) {
    // The copy's capacity: the larger of the request and the old length.
    ExpectSteps({
        {"request 0", "abc", 20, true, GetBufferOf<0>, "abc", NewBlock, 3, {3}, 0},
        {"request 2", "abc", 20, true, GetBufferOf<2>, "abc", NewBlock, 3, {3}, 0},
        {"request 3", "abc", 20, true, GetBufferOf<3>, "abc", NewBlock, 3, {3}, 0},
        {"request 8", "abc", 20, true, GetBufferOf<8>, "abc", NewBlock, 8, {8}, 0},
    });
}

TEST(CountedString, GetBufferLeavesRoomForAWindowsWriter) {
    CountedString s("abc");
    char* buffer = s.GetBuffer(2048);
    ASSERT_GE(HeaderOf(s)->capacity, 2048);
    // A writer that needs scratch space but changes nothing the string keeps.
    std::memset(buffer + 4, 'z', 2000);
    EXPECT_TRUE(Holds(s, "abc"));
}

TEST(CountedString, ReleaseBufferSetsTheLength) {
    const auto measured = [](S& s) {
        std::memcpy(s.GetBuffer(5), "xy", 3);
        s.ReleaseBuffer(-1);
    };
    const auto full = [](S& s) {
        std::memcpy(s.GetBuffer(5), "hello", 5);
        s.ReleaseBuffer(5);
    };
    ExpectSteps({
        {"measured", "", 5, false, measured, "xy", InPlace, 5},
        {"release(1)", "xy", 5, false, [](S& s) { s.ReleaseBuffer(1); }, "x", InPlace, 5},
        {"full", "x", 5, false, full, "hello", InPlace, 5},
        {"release(0)", "hello", 5, false, [](S& s) { s.ReleaseBuffer(0); }, "", InPlace, 5},
    });
}

TEST(CountedString, ReleaseBufferNeverMeasuresPastTheBlock) {
    CountedString s;
    char* buffer = s.GetBuffer(8);
    const int capacity = HeaderOf(s)->capacity;
    // A writer that lost its terminator: every byte of the block is text.
    std::memset(buffer, 'w', static_cast<std::size_t>(capacity) + 1);
    s.ReleaseBuffer(-1);
    EXPECT_TRUE(Holds(s, std::string(static_cast<std::size_t>(capacity), 'w')));
}

TEST(CountedString, ReleaseBufferOnASharedBlockWritesAPrivateCopy) {
    // Callers never copy between get-buffer and release-buffer; should one,
    // the other holder still keeps its text.
    ExpectSteps({
        {"release(2)", "abcd", 4, true, [](S& s) { s.ReleaseBuffer(2); }, "ab", NewBlock, 4, {4}},
    });
}

TEST(CountedString, ConstructsFromStringTableIdInPlaceOfAPointer) {
    const CountedString browseTitle(reinterpret_cast<const char*>(std::uintptr_t{500}));
    // "tagsを生成するフォルダを選択してください" in code page 932.
    EXPECT_TRUE(Holds(browseTitle, "tags\x82\xF0\x90\xB6\x90\xAC\x82\xB7\x82\xE9\x83t\x83H\x83\x8B"
                                   "\x83_\x82\xF0\x91I\x91\xF0\x82\xB5\x82\xC4\x82\xAD\x82\xBE"
                                   "\x82\xB3\x82\xA2"));
    EXPECT_EQ(40, HeaderOf(browseTitle)->capacity);
    EXPECT_EQ(1, HeaderOf(browseTitle)->count);
}

TEST(CountedString, PointerValue0x10000IsAText) {
    // An address given to VirtualAlloc is rounded down to 64 KB: 0x10000 or nothing.
    char* page = static_cast<char*>(VirtualAlloc(reinterpret_cast<void*>(std::uintptr_t{0x10000}),
                                                 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (page == nullptr) {
        const DWORD error = GetLastError();
        GTEST_SKIP() << "the page at 0x10000 cannot be had in this process (error " << error
                     << "), so no text can lie there";
    }
    ASSERT_EQ(reinterpret_cast<char*>(std::uintptr_t{0x10000}), page);
    std::memcpy(page, "at 0x10000", 11);
    {
        const CountedString s(page);
        EXPECT_TRUE(Holds(s, "at 0x10000"));
        EXPECT_NE(page, s.Chars());
    }
    VirtualFree(page, 0, MEM_RELEASE);
}

TEST(CountedString, PrinterShowsTextAndHeader) {
    const CountedString s("a\x95\x5C\"");
    EXPECT_EQ("\"a\\x95\\\\\\\"\" (length 4, capacity 4, count 1)", testing::PrintToString(s));
    EXPECT_EQ("\"\" (length 0, capacity 0, count -1, shared empty)",
              testing::PrintToString(CountedString()));
    const testing::AssertionResult mismatch = Holds(s, "b");
    EXPECT_FALSE(mismatch);
    EXPECT_NE(std::string::npos, std::string(mismatch.message()).find("length 4"));
}

} // namespace
} // namespace kestrel
