// The counted string against std::string, in one run: copying, assigning and
// concatenating texts of 16 bytes (past std::string's inline buffer), 1 KiB
// and 64 KiB, and printf-style formatting. Each operation runs for rounds of
// about 20 ms timed with QueryPerformanceCounter; the median round gives the
// time per operation, and a counting operator new the blocks allocated.
//
// "copy" times a copy together with its destruction; "copy-construct" times
// the copies alone, made into a batch of live slots and destroyed off the
// clock. Exits 1 when a promise of the counted string fails: copying a 1 KiB
// text (copy-construct) must cost less than a tenth of std::string's copy,
// and copies, assignments and empty strings must allocate nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "bench/CountingNew.h"
#include "plugin/ModuleState.h"
#include "resources/resource.h"
#include "text/CountedString.h"

namespace kestrel {
namespace bench {
namespace {

constexpr int kRounds = 9;
constexpr double kRoundSeconds = 0.02;
constexpr double kRequiredCopyRatio = 0.1;

struct Result {
    double nsPerOp;
    double allocationsPerOp;
};

double SecondsSince(LONGLONG start) {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start) / static_cast<double>(frequency.QuadPart);
}

LONGLONG Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// Keeps the compiler from dropping a result nobody reads.
struct Sink {
    const char* volatile last = nullptr;
    void operator()(const char* p) { last = p; }
};

template <typename Operation> double TimeRound(Operation& operation, long repetitions) {
    const LONGLONG start = Now();
    for (long i = 0; i < repetitions; ++i) {
        operation(i);
    }
    return SecondsSince(start);
}

// Enough repetitions of `operation` for a round of about kRoundSeconds.
template <typename Operation> long Calibrate(Operation& operation) {
    long repetitions = 1;
    double seconds = TimeRound(operation, repetitions);
    while (seconds < kRoundSeconds / 8 && repetitions < (1L << 28)) {
        repetitions *= 2;
        seconds = TimeRound(operation, repetitions);
    }
    if (seconds < kRoundSeconds) {
        repetitions = static_cast<long>(static_cast<double>(repetitions) * kRoundSeconds /
                                        (seconds > 0 ? seconds : kRoundSeconds / 8));
    }
    return repetitions;
}

struct Comparison {
    std::string name;
    Result counted;
    Result standard;
    double Ratio() const { return counted.nsPerOp / standard.nsPerOp; }
};

// The rounds of the two operations alternate, so that a change in the load
// of the machine falls on both alike.
template <typename Counted, typename Standard>
Comparison Compare(std::string name, Counted counted, Standard standard) {
    const long repetitions[2] = {Calibrate(counted), Calibrate(standard)};
    std::vector<double> nsPerOp[2];
    long allocations[2] = {0, 0};
    for (int round = 0; round < kRounds; ++round) {
        for (int which = 0; which < 2; ++which) {
            const long before = AllocationsSoFar();
            const double seconds = which == 0 ? TimeRound(counted, repetitions[0])
                                              : TimeRound(standard, repetitions[1]);
            allocations[which] += AllocationsSoFar() - before;
            nsPerOp[which].push_back(seconds * 1e9 / static_cast<double>(repetitions[which]));
        }
    }
    Result results[2];
    for (int which = 0; which < 2; ++which) {
        std::sort(nsPerOp[which].begin(), nsPerOp[which].end());
        results[which] = Result{nsPerOp[which][nsPerOp[which].size() / 2],
                                static_cast<double>(allocations[which]) /
                                    (static_cast<double>(repetitions[which]) * kRounds)};
    }
    return Comparison{std::move(name), results[0], results[1]};
}

// Copy construction alone: copies are made into a batch of slots under the
// clock and destroyed after it stops, for both strings alike. The rounds
// alternate as in Compare.
template <typename String> double CopyBatchSeconds(const String& source, long batches) {
    constexpr int kBatch = 256;
    alignas(String) unsigned char slots[kBatch][sizeof(String)];
    double seconds = 0;
    for (long b = 0; b < batches; ++b) {
        const LONGLONG start = Now();
        for (int i = 0; i < kBatch; ++i) {
            new (slots[i]) String(source);
        }
        seconds += SecondsSince(start);
        for (int i = 0; i < kBatch; ++i) {
            reinterpret_cast<String*>(slots[i])->~String();
        }
    }
    return seconds;
}

Comparison CompareCopyConstruction(std::string name, const CountedString& counted,
                                   const std::string& standard) {
    constexpr long kBatches = 200;
    constexpr double kCopies = 256.0 * kBatches;
    std::vector<double> nsPerOp[2];
    long allocations[2] = {0, 0};
    for (int round = 0; round < kRounds; ++round) {
        for (int which = 0; which < 2; ++which) {
            const long before = AllocationsSoFar();
            const double seconds = which == 0 ? CopyBatchSeconds(counted, kBatches)
                                              : CopyBatchSeconds(standard, kBatches);
            // Only the copies' own blocks count, not their later release.
            allocations[which] += AllocationsSoFar() - before;
            nsPerOp[which].push_back(seconds * 1e9 / kCopies);
        }
    }
    Result results[2];
    for (int which = 0; which < 2; ++which) {
        std::sort(nsPerOp[which].begin(), nsPerOp[which].end());
        results[which] = Result{nsPerOp[which][kRounds / 2],
                                static_cast<double>(allocations[which]) / (kCopies * kRounds)};
    }
    return Comparison{std::move(name), results[0], results[1]};
}

std::string Text(std::size_t size, char first) {
    std::string text(size, ' ');
    for (std::size_t i = 0; i < size; ++i) {
        text[i] = static_cast<char>(first + static_cast<char>(i % 23));
    }
    return text;
}

void Print(const Comparison& c) {
    std::printf("%-26s %11.1f %11.1f %9.3f %9.2f %9.2f\n", c.name.c_str(), c.counted.nsPerOp,
                c.standard.nsPerOp, c.Ratio(), c.counted.allocationsPerOp,
                c.standard.allocationsPerOp);
}

int Run() {
    std::printf("Counted string against std::string: median of %d rounds of about %.0f ms,\n"
                "time per operation in ns, blocks allocated per operation.\n\n",
                kRounds, kRoundSeconds * 1000);
    std::printf("%-26s %11s %11s %9s %9s %9s\n", "operation", "counted ns", "std ns", "cnt/std",
                "cnt alloc", "std alloc");
    Sink sink;
    std::vector<Comparison> results;
    auto add = [&results](const Comparison& c) {
        Print(c);
        results.push_back(c);
    };

    {
        add(Compare(
            "empty: make, copy, assign",
            [&](long) {
                CountedString empty;
                CountedString copy(empty);
                empty = copy;
                sink(empty.Chars());
            },
            [&](long) {
                std::string empty;
                std::string copy(empty);
                empty = copy;
                sink(empty.data());
            }));
    }

    const struct {
        const char* label;
        std::size_t size;
    } sizes[] = {{"16 B", 16}, {"1 KiB", 1024}, {"64 KiB", 65536}};
    for (const auto& size : sizes) {
        const std::string stdA = Text(size.size, 'a');
        const std::string stdB = Text(size.size, 'A');
        const CountedString countedA(stdA.c_str());
        const CountedString countedB(stdB.c_str());
        CountedString countedTarget;
        std::string stdTarget;
        const std::string label = size.label;

        add(Compare(
            "copy " + label,
            [&](long) {
                const CountedString copy(countedA);
                sink(copy.Chars());
            },
            [&](long) {
                const std::string copy(stdA);
                sink(copy.data());
            }));
        add(CompareCopyConstruction("copy-construct " + label, countedA, stdA));
        // Alternating sources, so that every assignment changes the target.
        add(Compare(
            "assign " + label,
            [&](long i) {
                countedTarget = (i & 1) ? countedA : countedB;
                sink(countedTarget.Chars());
            },
            [&](long i) {
                stdTarget = (i & 1) ? stdA : stdB;
                sink(stdTarget.data());
            }));
        add(Compare(
            "concatenate " + label + " + " + label,
            [&](long) {
                const CountedString sum = countedA + countedB;
                sink(sum.Chars());
            },
            [&](long) {
                const std::string sum = stdA + stdB;
                sink(sum.data());
            }));
    }

    {
        // Both targets are reused: the counted string keeps its 2048-byte
        // block, std::string its capacity.
        const char* folder = "K:\\projects\\kestrel\\src";
        CountedString counted;
        std::string standard;
        add(Compare(
            "format into a kept target",
            [&](long i) {
                counted.Format("%s: run %ld in %s", "ctags", i, folder);
                sink(counted.Chars());
            },
            [&](long i) {
                char buffer[2049];
                const int n =
                    std::snprintf(buffer, sizeof buffer, "%s: run %ld in %s", "ctags", i, folder);
                standard.assign(buffer, static_cast<std::size_t>(std::min(n < 0 ? 0 : n, 2048)));
                sink(standard.data());
            }));
        add(Compare(
            "format-resource",
            [&](long) {
                FormatResource(counted, IDS_RUN_IN_FOLDER, folder);
                sink(counted.Chars());
            },
            [&](long) {
                char format[256];
                LoadStringA(ModuleInstance(), IDS_RUN_IN_FOLDER, format, sizeof format);
                char buffer[2049];
                const int n = std::snprintf(buffer, sizeof buffer, format, folder);
                standard.assign(buffer, static_cast<std::size_t>(std::min(n < 0 ? 0 : n, 2048)));
                sink(standard.data());
            }));
    }

    int status = 0;
    std::printf("\n");
    for (const Comparison& c : results) {
        const bool mustNotAllocate = c.name.compare(0, 5, "empty") == 0 ||
                                     c.name.compare(0, 4, "copy") == 0 ||
                                     c.name.compare(0, 6, "assign") == 0;
        if (mustNotAllocate && c.counted.allocationsPerOp != 0) {
            std::printf("FAIL: %s allocates %.2f blocks per operation, expected none\n",
                        c.name.c_str(), c.counted.allocationsPerOp);
            status = 1;
        }
        if (c.name == "copy-construct 1 KiB") {
            const bool ok = c.Ratio() <= kRequiredCopyRatio;
            std::printf("%s: copying a 1 KiB text costs %.3f of std::string's copy (%.1f times "
                        "cheaper), required at most %.2f\n",
                        ok ? "ok" : "FAIL", c.Ratio(), 1 / c.Ratio(), kRequiredCopyRatio);
            if (!ok) {
                status = 1;
            }
        }
    }
    if (status == 0) {
        std::printf("ok: copies, assignments and empty strings allocate nothing\n");
    }
    return status;
}

} // namespace
} // namespace bench
} // namespace kestrel

int main() {
    // The program holds the string table; resources come from it.
    kestrel::SetModuleInstance(GetModuleHandleA(nullptr));
    return kestrel::bench::Run();
}
