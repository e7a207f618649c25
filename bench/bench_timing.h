#pragma once

#include <algorithm>
#include <chrono>

// Wall-clock timing shared by the benchmarks.
namespace plm::bench {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Best of n runs of f, in ms.
template <class F>
double best(int n, F&& f) {
    double result = 1e300;
    for (int i = 0; i < n; ++i) {
        const auto start = Clock::now();
        f();
        result = std::min(result, msSince(start));
    }
    return result;
}

}  // namespace plm::bench
