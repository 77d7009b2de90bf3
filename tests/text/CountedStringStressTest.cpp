// The counted string under pressure: two threads copying and destroying the
// same blocks, a long seeded run of mixed operations checked against
// std::string, and allocations that fail in the middle of an operation.
#include "text/CountedString.h"
#include "text/CountedStringForTests.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/text/AllocationTracker.h"
#include "tests/text/CountedStringPrinter.h"
#include "tests/text/TestStringIds.h"

namespace kestrel {
namespace {

using test::AllocationWindow;
using test::BadDeletes;
using test::Holds;
using test::HoldsSharedEmpty;
using test::IsWellFormed;
using S = CountedString; // in the operations of the tables

// Nothing in the whole program was deleted twice.
struct NoBadDeletes : testing::Environment {
    void TearDown() override { EXPECT_EQ(0, BadDeletes()) << "blocks deleted twice"; }
};
testing::Environment* const g_noBadDeletes = testing::AddGlobalTestEnvironment(new NoBadDeletes);

// Steps that the main thread and its workers take together: each worker
// arrives when it has finished a step and waits until the main thread opens
// the next one. Thread start-up and exit allocate, so the main thread counts
// allocations only between the gates.
class Gate {
public:
    void Arrive(int step) {
        m_arrived.fetch_add(1);
        Await(m_open, step);
    }
    void WaitFor(int arrivals) { Await(m_arrived, arrivals); }
    void Open(int step) { m_open.store(step); }

private:
    static void Await(const std::atomic<int>& value, int least) {
        while (value.load() < least) {
            std::this_thread::yield();
        }
    }
    std::atomic<int> m_arrived{0};
    std::atomic<int> m_open{0};
};

TEST(CountedStringThreads, TwoThreadsCopyAndReleaseSharedBlocks) {
    constexpr int kCycles = 20;
    constexpr int kBlocks = 1000;
    const long badDeletesBefore = BadDeletes();
    AllocationWindow whole;
    {
        // In every cycle each fresh block is held once by each thread's list.
        // The threads copy, assign and destroy copies of the first few blocks
        // at the same time, then both let go of every block at once.
        std::vector<CountedString> lists[2] = {std::vector<CountedString>(kBlocks),
                                               std::vector<CountedString>(kBlocks)};
        Gate gate;
        auto worker = [&gate](std::vector<CountedString>& list) {
            for (int cycle = 0; cycle < kCycles; ++cycle) {
                gate.Arrive(3 * cycle + 1);
                {
                    CountedString held[3];
                    for (std::size_t k = 0; k < 20000; ++k) {
                        const CountedString copy(list[k % 4]);
                        held[k % 3] = copy;
                        const CountedString again = held[(k + 1) % 3];
                        held[(k + 2) % 3] = again;
                    }
                }
                gate.Arrive(3 * cycle + 2);
                for (CountedString& s : list) {
                    s = CountedString();
                }
                gate.Arrive(3 * cycle + 3);
            }
        };
        std::thread a(worker, std::ref(lists[0]));
        std::thread b(worker, std::ref(lists[1]));

        long copyNews = 0, releaseDeletes = 0;
        int wrongCounts = 0;
        for (int cycle = 0; cycle < kCycles; ++cycle) {
            for (std::size_t i = 0; i < kBlocks; ++i) {
                char text[32];
                std::snprintf(text, sizeof text, "block %d.%u", cycle, static_cast<unsigned>(i));
                lists[0][i] = lists[1][i] = CountedString(text);
            }
            gate.WaitFor(2 * (3 * cycle + 1));
            const AllocationWindow copies;
            gate.Open(3 * cycle + 1);
            gate.WaitFor(2 * (3 * cycle + 2));
            copyNews += copies.News();
            for (std::size_t i = 0; i < kBlocks; ++i) {
                const StringHeader* h = HeaderOf(lists[0][i]);
                wrongCounts += h != HeaderOf(lists[1][i]) || h->count != 2 ? 1 : 0;
            }
            const AllocationWindow release;
            gate.Open(3 * cycle + 2);
            gate.WaitFor(2 * (3 * cycle + 3));
            releaseDeletes += release.Deletes();
            gate.Open(3 * cycle + 3);
        }
        a.join();
        b.join();

        EXPECT_EQ(0, copyNews) << "copies and assignments allocated";
        EXPECT_EQ(0, wrongCounts) << "blocks not held exactly twice after the copies ended";
        EXPECT_EQ(kCycles * kBlocks, releaseDeletes) << "blocks freed when both threads let go";
        for (const std::vector<CountedString>& list : lists) {
            for (const CountedString& s : list) {
                ASSERT_TRUE(HoldsSharedEmpty(s));
            }
        }
    }
    EXPECT_EQ(0, whole.StillLive());
    EXPECT_EQ(badDeletesBefore, BadDeletes());
}

TEST(CountedStringThreads, CopiesMadeAtOnceAreCountedExactly) {
    constexpr int kThreads = 4;
    constexpr int kCopies = 250000;
    const CountedString block("one block");
    Gate gate;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&gate, &block] {
            std::vector<CountedString> held;
            held.reserve(kCopies);
            gate.Arrive(1);
            for (int k = 0; k < kCopies; ++k) {
                held.emplace_back(block);
            }
            gate.Arrive(2); // keeps every copy until the count has been read
        });
    }
    gate.WaitFor(kThreads);
    gate.Open(1); // all threads copy at the same time
    gate.WaitFor(2 * kThreads);
    EXPECT_EQ(1 + kThreads * kCopies, HeaderOf(block)->count);
    gate.Open(2);
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(1, HeaderOf(block)->count);
}

// find-last as it walks characters of code page 932.
int ModelFindLast(const std::string& text, char c) {
    int found = -1;
    for (std::size_t i = 0; i < text.size() && text[i] != '\0'; ++i) {
        if (text[i] == c) {
            found = static_cast<int>(i);
        }
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        const bool lead = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        i += lead && i + 1 < text.size() && text[i + 1] != '\0' ? 1 : 0;
    }
    return found;
}

TEST(CountedStringModel, SeededMixedOperationsMatchStdString) {
    constexpr unsigned kSeed = 20240607;
    constexpr int kSlots = 6;
    std::mt19937 random(kSeed);
    auto pick = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    // Texts of single-byte letters, backslashes and double-byte characters,
    // some of whose second bytes are a backslash or a letter.
    auto makeText = [&](int maxPieces) {
        static const char* const pieces[] = {"a",        "b",        "\\",   ":",   "\x95\x5C",
                                             "\x82\x61", "\x82\xA0", "\xB1", "xyz", "\x83\x5C"};
        std::string text;
        for (int count = pick(0, maxPieces); count > 0; --count) {
            text += pieces[pick(0, 9)];
        }
        return text;
    };

    const long badDeletesBefore = BadDeletes();
    AllocationWindow whole;
    {
        CountedString strings[kSlots];
        std::string model[kSlots];
        for (int op = 0; op < 20000; ++op) {
            const int i = pick(0, kSlots - 1);
            const int j = pick(0, kSlots - 1);
            const int kind = pick(0, 12);
            switch (kind) {
            case 0: { // copy assignment allocates nothing
                AllocationWindow window;
                strings[i] = strings[j];
                ASSERT_EQ(0, window.News()) << "op " << op << ": assign";
                model[i] = model[j];
                break;
            }
            case 1: // assign-text
                model[i] = makeText(pick(0, 1) ? 4 : 80);
                strings[i] = model[i].c_str();
                break;
            case 2: { // concatenate strings
                const int k = pick(0, kSlots - 1);
                strings[i] = strings[j] + strings[k];
                model[i] = model[j] + model[k];
                break;
            }
            case 3: { // concatenate a text
                const std::string text = makeText(6);
                const CountedString result = strings[j] + text.c_str();
                model[i] = model[j] + text;
                strings[i] = result;
                break;
            }
            case 4: { // left
                const int n = pick(-3, static_cast<int>(model[j].size()) + 3);
                strings[i] = strings[j].Left(n);
                model[i] = model[j].substr(0, static_cast<std::size_t>(n < 0 ? 0 : n));
                break;
            }
            case 5: { // find-last
                const char c = "\\:ab\x95\x5C\x82\xB1"[pick(0, 8)];
                ASSERT_EQ(ModelFindLast(model[i], c), strings[i].FindLast(c))
                    << "op " << op << ": find-last of " << (c & 0xFF) << " in "
                    << testing::PrintToString(strings[i]);
                break;
            }
            case 6: { // write through get-buffer, then release-buffer
                const int room = pick(0, 40);
                char* buffer = strings[i].GetBuffer(room);
                ASSERT_GE(HeaderOf(strings[i])->capacity, room);
                model[i] = makeText(room / 3).substr(0, static_cast<std::size_t>(room));
                std::memcpy(buffer, model[i].c_str(), model[i].size() + 1);
                strings[i].ReleaseBuffer(pick(0, 1) ? -1 : static_cast<int>(model[i].size()));
                break;
            }
            case 7: // get-buffer alone keeps the text
                strings[i].GetBuffer(pick(-2, 30));
                break;
            case 8: { // format
                const int number = pick(-1000, 1000);
                const std::string text = makeText(5);
                strings[i].Format("%s/%d", text.c_str(), number);
                model[i] = text + "/" + std::to_string(number);
                break;
            }
            case 9: { // copy construction and destruction allocate nothing
                AllocationWindow window;
                {
                    CountedString copy(strings[j]);
                    CountedString second = copy;
                }
                ASSERT_EQ(0, window.News()) << "op " << op << ": copy";
                break;
            }
            case 10: // assign an empty string
                strings[i] = CountedString();
                model[i].clear();
                break;
            case 11: { // load a string-table text
                const UINT ids[] = {IDS_TEST_253, IDS_TEST_254, IDS_TEST_510, IDS_TEST_EMPTY, 4};
                const UINT id = ids[pick(0, 4)];
                strings[i].LoadResource(id);
                char buffer[600];
                LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof buffer);
                model[i] = buffer;
                break;
            }
            case 12: // move
                strings[i] = std::move(strings[j]);
                model[i] = std::exchange(model[j], std::string());
                break;
            }

            // Every slot holds its model's text, and every block's count is
            // the number of slots that hold it.
            std::map<const StringHeader*, int> holders;
            for (int k = 0; k < kSlots; ++k) {
                ASSERT_TRUE(Holds(strings[k], model[k]))
                    << "op " << op << " kind " << kind << " slot " << k << " seed " << kSeed;
                ++holders[HeaderOf(strings[k])];
            }
            for (const auto& entry : holders) {
                if (entry.first != SharedEmptyHeader()) {
                    ASSERT_EQ(entry.second, entry.first->count) << "op " << op << " kind " << kind;
                }
            }
        }
    }
    EXPECT_EQ(0, whole.StillLive());
    EXPECT_EQ(badDeletesBefore, BadDeletes());
}

TEST(CountedStringAllocationFailure, EveryStringStaysValidAndNothingLeaks) {
    // What the string holds after one of its operation's allocations failed.
    enum After { OldBlock, EmptyBlock, AnyBlock };
    struct Case {
        const char* name;
        const char* initial; // given room for `room` bytes, and shared when `shared`
        int room;
        bool shared;
        void (*operation)(S& s);
        After after;
    };
    const auto fromId = [](S& s) { s = S(reinterpret_cast<const char*>(IDS_TEST_510)); };
    const Case cases[] = {
        {"construct from text", "", 0, false, [](S& s) { s = S("text"); }, OldBlock},
        {"construct from string-table id 510", "", 0, false, fromId, OldBlock},
        {"concatenate", "abc", 0, true, [](S& s) { s = s + "def"; }, OldBlock},
        {"left", "abc", 0, true, [](S& s) { s = s.Left(2); }, OldBlock},
        // assign-text lets go of the old block before it allocates.
        {"assign-text on a shared block", "abc", 0, true, [](S& s) { s = "longer"; }, EmptyBlock},
        // get-buffer keeps the old block until its copy exists.
        {"get-buffer on a shared block", "abc", 0, true, [](S& s) { s.GetBuffer(100); }, OldBlock},
        {"release-buffer", "abc", 3, true, [](S& s) { s.ReleaseBuffer(1); }, AnyBlock},
        {"format", "abc", 0, true, [](S& s) { s.Format("%s-%d", "x", 7); }, OldBlock},
        {"format-resource", "abc", 0, true, [](S& s) { FormatResource(s, 502, "ctags"); },
         OldBlock},
        {"load-resource 253", "abc", 0, true, [](S& s) { s.LoadResource(IDS_TEST_253); }, AnyBlock},
        {"load-resource 254", "abc", 0, true, [](S& s) { s.LoadResource(IDS_TEST_254); }, AnyBlock},
        {"load-resource 510", "abc", 0, true, [](S& s) { s.LoadResource(IDS_TEST_510); }, AnyBlock},
        {"load into own block", "old", 0, false, [](S& s) { s.LoadResource(IDS_TEST_510); },
         AnyBlock},
    };
    // Each operation runs with its first, second, ... allocation failing,
    // until it runs without a failure. A second string, a copy or one of its
    // own, keeps its text; and once both are destroyed nothing is left behind.
    for (const Case& c : cases) {
        for (long nth = 0;; ++nth) {
            SCOPED_TRACE(testing::Message() << c.name << ": allocation " << nth);
            ASSERT_LT(nth, 20) << "never ran to the end";
            const long badDeletesBefore = BadDeletes();
            AllocationWindow window;
            bool failed = false;
            {
                CountedString s(c.initial);
                s.GetBuffer(c.room);
                const CountedString other = c.shared ? s : CountedString("other");
                const StringHeader* before = HeaderOf(s);
                test::FailAllocation(nth);
                try {
                    c.operation(s);
                } catch (const std::bad_alloc&) {
                    failed = true;
                }
                ASSERT_EQ(test::CancelFailure(), failed) << "the failure was not the injected one";
                if (failed && c.after == OldBlock) {
                    EXPECT_EQ(before, HeaderOf(s));
                    EXPECT_TRUE(Holds(s, c.initial));
                    if (c.shared) {
                        EXPECT_EQ(2, before->count);
                    }
                } else if (failed && c.after == EmptyBlock) {
                    EXPECT_TRUE(HoldsSharedEmpty(s));
                    EXPECT_EQ(1, HeaderOf(other)->count);
                } else if (failed) {
                    EXPECT_TRUE(IsWellFormed(s));
                }
                EXPECT_TRUE(Holds(other, c.shared ? c.initial : "other"));
            }
            EXPECT_EQ(0, window.StillLive()) << "leaked";
            EXPECT_EQ(badDeletesBefore, BadDeletes());
            if (!failed) {
                break;
            }
        }
    }
}

} // namespace
} // namespace kestrel
