// The cost of plmtool breaker, which scans the whole data file for the
// measurements of one breaker, against cat of the same file in the same run.
//
//   bench_breaker [RECORDS]   runs in a scratch folder under /tmp (default 200000)
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
using plm::bench::best;

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
    const double catMs = best(3, [&] { std::system(cat.c_str()); });
    const double breakerMs = best(3, [&] { std::system(breaker.c_str()); });
    std::printf("cat of the data file: %8.1f ms\n", catMs);
    std::printf("plmtool breaker:      %8.1f ms  (%.2f x cat; target: 3 x)\n", breakerMs,
                breakerMs / catMs);
    fs::remove_all(root);
    return 0;
}
