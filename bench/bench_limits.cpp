// Reading a limits file of 32768 sections (the 1 MB the reader takes at
// most) and looking up every target, against the baseline of cutting the
// same bytes into trimmed lines. Reading checks every section against every other for
// a second section of the same target, so a reader that compares them pair
// by pair shows here as a ratio in the hundreds.
#include <cstdio>
#include <string>

#include "analysis/limits_file.h"
#include "bench_timing.h"
#include "support/text_codec.h"

namespace {

using plm::bench::BestTimes;

constexpr int kSections = 32768;

// "[Limits]" with a customer of three letters out of 32 and one circuit:
// 32 bytes a section, 1 MB in all.
std::string bigFile() {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz012345";
    std::string out;
    for (int i = 0; i < kSections; ++i) {
        const char name[] = {kLetters[i & 31], kLetters[(i >> 5) & 31], kLetters[(i >> 10) & 31],
                             '\0'};
        out += std::string("[Limits]\nCustomer=") + name + "\nCircuit=C\n";
    }
    return out;
}

// The least a reader does: every line found and trimmed.
size_t trimmedLines(const std::string& bytes) {
    size_t lines = 0;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        lines += plm::support::trimMb(bytes.substr(start, end - start)).empty() ? 0 : 1;
        start = end + 1;
    }
    return lines;
}

}  // namespace

int main() {
    const std::string bytes = bigFile();
    constexpr int kRuns = 5;
    BestTimes base, read, lookup;
    size_t lines = 0;
    size_t found = 0;
    plm::analysis::LimitsBook book;
    for (int i = 0; i < kRuns; ++i) {
        base.time([&] { lines = trimmedLines(bytes); });
        read.time([&] { book = plm::analysis::LimitsBook::parse(bytes, "LIMITS.INI"); });
        lookup.time([&] {
            found = 0;
            for (const plm::analysis::LimitsEntry& e : book.entries())
                found += book.find(e.target) ? 1 : 0;
        });
    }
    if (found != static_cast<size_t>(kSections) || lines != 3u * kSections) {
        std::fprintf(stderr, "found %zu sections of %d\n", found, kSections);
        return 1;
    }
    std::printf("limits file of %d sections, %.2f MB, best of %d (wall / cpu)\n", kSections,
                static_cast<double>(bytes.size()) / 1e6, kRuns);
    std::printf("  reading:                %7.1f / %7.1f ms\n", read.wall * 1e3, read.cpu * 1e3);
    std::printf("  every target looked up: %7.1f / %7.1f ms\n", lookup.wall * 1e3,
                lookup.cpu * 1e3);
    std::printf("  trimmed lines alone:    %7.1f / %7.1f ms\n", base.wall * 1e3, base.cpu * 1e3);
    std::printf(
        "  ratio reading/baseline: %.1fx cpu, lookups/baseline: %.1fx cpu "
        "(aim: well under a second, within 20x)\n",
        read.cpu / base.cpu, lookup.cpu / base.cpu);
    return 0;
}
