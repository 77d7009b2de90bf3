// What the benchmarks measure with: seconds from the performance counter and
// the median of a set of timings.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

namespace kestrel::bench {

inline double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace kestrel::bench
