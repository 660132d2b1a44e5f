#pragma once

// Timing helpers shared by the in-process benchmarks.

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace ks::bench {

/// Wall-clock seconds one call of work takes.
inline double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// The median of values (the mean of the middle two for an even count); 0 for none.
inline double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace ks::bench
