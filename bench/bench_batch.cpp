// Batches of 100 measurements of 1001 samples (8 channels):
// - the 100-page report PDF written by one plmtool run, per page, against
//   one single-page plmtool report run (aim: at most a third);
// - 100 CSV files written by the batch writer against plain buffered writes
//   of the same bytes (aim: within 2x).
// Both are measured in the same run; plmtool runs are timed as child
// processes, wall and CPU (children's user + system).
#include <sys/resource.h>
#include <sys/wait.h>

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "model/customer_tree.h"
#include "report/batch_csv.h"
#include "report/batch_selection.h"
#include "support/paths.h"
#include "support/text_codec.h"
#include "synthetic_tree.h"

namespace {

using plm::bench::BestTimes;
using plm::bench::bufferedWrite;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kMeasurements = 100;
constexpr int kRuns = 3;

struct FailingReporter : plm::model::ErrorReporter {
    void report(const std::string& text, plm::model::MessageIcon) override {
        std::fprintf(stderr, "failure: %s\n", plm::support::toUtf8(text).c_str());
        std::exit(1);
    }
};

plm::model::MeasurementRecord record(int n) {
    plm::model::MeasurementRecord r;
    r.dataNo = n + 1;
    r.cond.devType = 3;
    r.measTime = 3;
    r.measPeriod = 1;
    r.testDateTime.status = plm::support::DateStatus::Valid;
    r.testDateTime.value = 45000.5 + n / 1440.0;
    r.contacts = plm::bench::randomContacts(1001, 97, static_cast<unsigned>(n));
    return r;
}

double childCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Best of kRuns of a job, with the CPU clock that counts it.
template <class Job>
BestTimes best(double (*cpuClock)(), Job&& job) {
    BestTimes times;
    for (int i = 0; i < kRuns; ++i)
        times.time(job, cpuClock);
    return times;
}

void plmtool(const fs::path& home, const std::string& args) {
    const std::string command =
        "'" PLMTOOL_PATH "' --home '" + home.string() + "' " + args + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / ("bench_batch_" + std::to_string(getpid()));
    const fs::path home = dir / "home";
    fs::create_directories(home / "DATA");

    plm::model::CustomerTree tree;
    plm::model::MeasurementName& name = plm::model::findOrAddMeasurementName(tree, "A", "B", "C");
    for (int n = 0; n < kMeasurements; ++n)
        name.records.append(record(n));
    FailingReporter reporter;
    tree.save(plm::support::fromFsPath((home / "DATA/QBX.DAT").string()), reporter);
    plmtool(home, "list");  // the first run writes the INI files

    const std::string out = (dir / "out").string();
    fs::create_directories(out);
    const BestTimes single =
        best(childCpuSeconds, [&] { plmtool(home, "report A B C 0 '" + out + "/one.pdf'"); });
    const BestTimes batch = best(
        childCpuSeconds, [&] { plmtool(home, "report A B C '" + out + "/batch.pdf' --force"); });
    std::printf("report, %d measurements of 1001 samples, best of %d (wall / cpu)\n", kMeasurements,
                kRuns);
    std::printf("  one single-page plmtool report: %8.1f / %8.1f ms\n", single.wall * 1e3,
                single.cpu * 1e3);
    std::printf("  %d-page batch PDF:             %8.1f / %8.1f ms, %.1f / %.1f ms per page\n",
                kMeasurements, batch.wall * 1e3, batch.cpu * 1e3, batch.wall * 1e3 / kMeasurements,
                batch.cpu * 1e3 / kMeasurements);
    std::printf("  ratio page/single run: %.3f wall, %.3f cpu (aim: at most 0.333)\n",
                batch.wall / kMeasurements / single.wall, batch.cpu / kMeasurements / single.cpu);

    const std::vector<plm::report::BatchItem> items = plm::report::selectBatch(tree, {{"A"}});
    const plm::report::CsvLayout layout;
    // Each run writes into a fresh folder, as a batch normally does (it
    // replaces no file without --force); the plain writes do the same.
    int folders = 0;
    auto freshFolder = [&] {
        const fs::path folder = dir / ("f" + std::to_string(++folders));
        fs::create_directories(folder);
        return folder;
    };
    const BestTimes writer = best(plm::bench::cpuSeconds, [&] {
        plm::report::writeBatchCsv(plm::support::fromFsPath(freshFolder().string()), layout, items,
                                   false);
    });
    std::vector<std::string> texts;
    size_t bytes = 0;
    for (const auto& item : items) {
        texts.push_back(plm::report::csvText(layout, {"A", "B", "C"}, *item.record));
        bytes += texts.back().size();
    }
    const BestTimes build = best(plm::bench::cpuSeconds, [&] {
        for (const auto& item : items)
            plm::report::csvText(layout, {"A", "B", "C"}, *item.record);
    });
    const std::vector<std::string> names = plm::report::batchCsvFileNames(items);
    const BestTimes plain = best(plm::bench::cpuSeconds, [&] {
        const fs::path folder = freshFolder();
        for (size_t i = 0; i < texts.size(); ++i)
            bufferedWrite((folder / names[i]).string(), texts[i]);
    });
    fs::remove_all(dir);
    std::printf("CSV, %d files, %.1f MB, best of %d (wall / cpu)\n", kMeasurements, bytes / 1e6,
                kRuns);
    std::printf("  batch writer:           %8.1f / %8.1f ms\n", writer.wall * 1e3,
                writer.cpu * 1e3);
    std::printf("  building the texts:     %8.1f / %8.1f ms\n", build.wall * 1e3, build.cpu * 1e3);
    std::printf("  plain buffered writes:  %8.1f / %8.1f ms\n", plain.wall * 1e3, plain.cpu * 1e3);
    std::printf("  ratio writer/plain: %.2fx wall, %.2fx cpu (aim: within 2x)\n",
                writer.wall / plain.wall, writer.cpu / plain.cpu);
    return 0;
}
