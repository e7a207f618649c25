// CSV test-result file of a 200001-sample 8-channel record: WriteCsvFile
// against one buffered write of the same bytes, both into a temporary folder.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>

#include "bench_timing.h"
#include "report/csv_writer.h"
#include "support/text_codec.h"

namespace {

using plm::bench::BestTimes;
using plm::bench::bufferedWrite;
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
    BestTimes writer, build, base;
    for (int i = 0; i < kRuns; ++i) {
        build.time([&] { plm::report::csvText(layout, names, record); });
        writer.time([&] { plm::report::WriteCsvFile(target, layout, names, record, reporter); });
        base.time([&] { bufferedWrite(baseline, bytes); });
    }
    std::filesystem::remove_all(dir);
    std::printf("CSV of 200001 samples x 8 channels: %.1f MB, best of %d (wall / cpu)\n", mb,
                kRuns);
    std::printf("  WriteCsvFile:        %7.1f / %7.1f ms  %7.1f MB/s cpu\n", writer.wall * 1e3,
                writer.cpu * 1e3, mb / writer.cpu);
    std::printf("  building the text:   %7.1f / %7.1f ms\n", build.wall * 1e3, build.cpu * 1e3);
    std::printf("  one buffered write:  %7.1f / %7.1f ms  %7.1f MB/s cpu\n", base.wall * 1e3,
                base.cpu * 1e3, mb / base.cpu);
    std::printf("  ratio writer/baseline: %.2fx wall, %.2fx cpu (aim: within 3x)\n",
                writer.wall / base.wall, writer.cpu / base.cpu);
    return 0;
}
