// CSV test-result file of a 200001-sample 8-channel record: WriteCsvFile
// against one buffered write of the same bytes, both into a temporary folder.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "report/csv_writer.h"
#include "support/text_codec.h"

namespace {

using Clock = std::chrono::steady_clock;

struct CountingReporter : plm::model::ErrorReporter {
    void report(const std::string& text, plm::model::MessageIcon) override {
        std::fprintf(stderr, "failure: %s\n", plm::support::toUtf8(text).c_str());
        std::exit(1);
    }
};

plm::model::MeasurementRecord bigRecord() {
    plm::model::MeasurementRecord r;
    r.cond.devType = 3;
    r.measTime = 7;
    r.measPeriod = 0;
    r.testDateTime.status = plm::support::DateStatus::Valid;
    r.testDateTime.value = 39539.5;
    r.contacts.assign(200001, 0);
    std::mt19937 random(7);
    uint8_t state = 0;
    for (size_t i = 0; i < r.contacts.size(); ++i) {
        if (random() % 997 == 0)
            state ^= static_cast<uint8_t>(1u << (random() % 8));
        r.contacts[i] = state;
    }
    return r;
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void bufferedWrite(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
        std::fclose(f) != 0) {
        std::perror("baseline write");
        std::exit(1);
    }
}

}  // namespace

int main() {
    const auto dir =
        std::filesystem::temp_directory_path() / ("bench_csv_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string target = (dir / "DAT.CSV").string();
    const std::string baseline = (dir / "BASE.CSV").string();

    const plm::model::MeasurementRecord record = bigRecord();
    plm::report::CsvLayout layout;
    const plm::report::CsvNames names{"A", "B", "C"};
    const std::string bytes = plm::report::csvText(layout, names, record);
    const double mb = static_cast<double>(bytes.size()) / 1e6;

    CountingReporter reporter;
    constexpr int kRuns = 10;
    double writer = 1e9;
    double base = 1e9;
    double build = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        auto t0 = Clock::now();
        const std::string text = plm::report::csvText(layout, names, record);
        build = std::min(build, seconds(Clock::now() - t0));
        t0 = Clock::now();
        plm::report::WriteCsvFile(target, layout, names, record, reporter);
        writer = std::min(writer, seconds(Clock::now() - t0));
        t0 = Clock::now();
        bufferedWrite(baseline, bytes);
        base = std::min(base, seconds(Clock::now() - t0));
    }
    std::filesystem::remove_all(dir);
    std::printf("CSV of 200001 samples x 8 channels: %.1f MB\n", mb);
    std::printf("  WriteCsvFile:        %7.1f ms  %7.1f MB/s (best of %d)\n", writer * 1e3,
                mb / writer, kRuns);
    std::printf("  building the text:   %7.1f ms\n", build * 1e3);
    std::printf("  one buffered write:  %7.1f ms  %7.1f MB/s\n", base * 1e3, mb / base);
    std::printf("  ratio writer/baseline: %.2fx (aim: within 3x)\n", writer / base);
    return 0;
}
