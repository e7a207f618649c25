#pragma once

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

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

// CPU time of this process (user and system): on a shared machine wall time
// mostly measures the neighbours.
inline double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The best wall and CPU seconds of the jobs timed.
struct BestTimes {
    double wall = 1e300;
    double cpu = 1e300;

    // cpuClock is this process's by default; a job run by child processes
    // needs theirs.
    template <class Job>
    void time(const Job& job, double (*cpuClock)() = cpuSeconds) {
        const auto start = Clock::now();
        const double cpuStart = cpuClock();
        job();
        cpu = std::min(cpu, cpuClock() - cpuStart);
        wall = std::min(wall, msSince(start) / 1e3);
    }
};

// The baseline of file-writing benchmarks: the bytes through plain buffered
// stdio; a failure ends the benchmark.
inline void bufferedWrite(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
        std::fclose(f) != 0) {
        std::perror("baseline write");
        std::exit(1);
    }
}

}  // namespace plm::bench
