// The cost of plmtool breaker, which scans the whole data file for the
// measurements of one breaker, against cat of the same file in the same run.
//
//   bench_breaker [RECORDS]   runs in a scratch folder under /tmp (default 200000)
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_timing.h"
#include "model/customer_tree.h"
#include "model/data_file.h"
#include "support/text_codec.h"
#include "synthetic_tree.h"

// Set by the build where plmtool is built.
#ifndef PLMTOOL_PATH
#define PLMTOOL_PATH ""
#endif

namespace {

namespace fs = std::filesystem;

double childCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string inQuotes(const std::string& text) {
    return "'" + text + "'";
}

}  // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 200000;
    const std::string root = "/tmp/bench_breaker_" + std::to_string(getpid());
    const std::string home = root + "/home";
    fs::create_directories(home + "/DATA");
    const std::string data = home + "/DATA/QBX.DAT";

    plm::bench::SyntheticTreeShape shape;
    shape.records = std::max(1, records / (shape.customers * shape.circuits * shape.names));
    std::string maker, model, serial;
    {
        const plm::model::CustomerTree tree = plm::bench::makeSyntheticTree(shape);
        // A breaker of the middle of the file.
        const plm::model::TestConditions& c =
            tree.customers.at(shape.customers / 2).circuits.at(0).names.at(0).records.at(0).cond;
        maker = plm::support::toUtf8(c.mcMaker);
        model = plm::support::toUtf8(c.mcType);
        serial = plm::support::toUtf8(c.mcNum);
        const std::string bytes = plm::model::writeDataFile(tree);
        FILE* out = std::fopen(data.c_str(), "wb");
        if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size())
            return 1;
        std::fclose(out);
        std::printf("data file: %d records, %.1f MB\n", records, bytes.size() / 1048576.0);
    }
    if (std::string(PLMTOOL_PATH).empty())
        return 0;
    const std::string cat = "cat " + inQuotes(data) + " >/dev/null";
    const std::string breaker = inQuotes(PLMTOOL_PATH) + " --home " + inQuotes(home) + " breaker " +
                                inQuotes(maker) + " " + inQuotes(model) + " " + inQuotes(serial) +
                                " --json >/dev/null";
    // Wall time and the CPU time of the child processes, each the best of
    // five: on a shared machine the wall time mostly measures the neighbours.
    const auto timed = [](const std::string& command) {
        plm::bench::BestTimes times;
        for (int run = 0; run < 5; ++run)
            times.time([&] { std::system(command.c_str()); }, childCpuSeconds);
        return times;
    };
    const plm::bench::BestTimes catTimes = timed(cat);
    const plm::bench::BestTimes breakerTimes = timed(breaker);
    // The scan that keeps no record at all, for what reading the records adds.
    const plm::bench::BestTimes listTimes =
        timed(inQuotes(PLMTOOL_PATH) + " --home " + inQuotes(home) + " list >/dev/null");
    const auto line = [&](const char* what, const plm::bench::BestTimes& t) {
        std::printf("%-22s wall %8.1f ms (%.2f x cat), cpu %8.1f ms (%.2f x cat)\n", what,
                    t.wall * 1e3, t.wall / catTimes.wall, t.cpu * 1e3, t.cpu / catTimes.cpu);
    };
    line("cat of the data file:", catTimes);
    line("plmtool list:", listTimes);
    line("plmtool breaker:", breakerTimes);
    std::printf("target: plmtool breaker within 3 x cat\n");
    fs::remove_all(root);
    return 0;
}
