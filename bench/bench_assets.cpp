// plmtool fleet and plmtool due on a data file of 200 000 records (1001
// samples each), each against cat of the same file, timed in the same run:
// both read every record once through the scanning reader and keep only
// the figures (fleet) or the date (due) of the newest measurement of each
// breaker or name. Once with one breaker per measurement name (tested ten
// times), once with a breaker of its own for every measurement.
//
//   bench_assets [RECORDS [--keep]]  runs in a scratch folder under /tmp (default
//                                    200000); --keep leaves it there for profiling
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "support/paths.h"
#include "support/text_codec.h"
#include "synthetic_tree.h"

#ifndef PLMTOOL_PATH
#define PLMTOOL_PATH ""
#endif

namespace {

namespace fs = std::filesystem;
using plm::bench::Clock;

struct Run {
    double seconds = 1e300;
    double cpu = 1e300;  // user and system
    long peakKb = 0;
};

// The best of three runs of a program, its output thrown away.
Run bestOfThree(const std::vector<std::string>& args) {
    Run best;
    // A child would write out what this process still holds in its buffer.
    std::fflush(stdout);
    for (int round = 0; round < 3; ++round) {
        const auto start = Clock::now();
        const pid_t pid = ::fork();
        if (pid == 0) {
            std::FILE* null = std::freopen("/dev/null", "w", stdout);
            (void)null;
            std::vector<char*> argv;
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "%s failed\n", args[0].c_str());
            std::exit(1);
        }
        best.seconds = std::min(best.seconds, plm::bench::msSince(start) / 1000.0);
        best.cpu = std::min(
            best.cpu,
            static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6);
        best.peakKb = std::max(best.peakKb, usage.ru_maxrss);
    }
    return best;
}

bool writeTree(int records, bool oneBreakerPerName, const std::string& path) {
    plm::bench::SyntheticTreeShape shape;
    shape.customers = std::max(1, records / 1000);
    shape.records = records >= 1000 ? 10 : std::max(1, records / 100);
    struct Quiet : plm::model::ErrorReporter {
        void report(const std::string& text, plm::model::MessageIcon) override {
            std::fprintf(stderr, "%s\n", plm::support::toUtf8(text).c_str());
        }
    } reporter;
    plm::model::CustomerTree tree = plm::bench::makeSyntheticTree(shape);
    if (oneBreakerPerName) {
        int breaker = 0;
        for (plm::model::Customer& customer : tree.customers) {
            for (plm::model::TestCircuit& circuit : customer.circuits) {
                for (plm::model::MeasurementName& name : circuit.names) {
                    const plm::model::TestConditions first = name.records.at(0).cond;
                    for (plm::model::MeasurementRecord& record : name.records) {
                        record.cond.mcMaker = first.mcMaker;
                        record.cond.mcType = first.mcType;
                        record.cond.mcNum = plm::support::format("SN-%06d", breaker);
                    }
                    ++breaker;
                }
            }
        }
    }
    return tree.save(plm::support::fromFsPath(path), reporter);
}

}  // namespace

// One data file and its timings; the folder is left for profiling with `keep`.
void benchFleet(const std::string& tool, int records, bool oneBreakerPerName, bool keep) {
    const fs::path dir =
        fs::temp_directory_path() / ("plm_bench_assets_" + std::to_string(getpid()) +
                                     (oneBreakerPerName ? "_names" : "_records"));
    const fs::path home = dir / "home";
    fs::create_directories(home / "DATA");
    const std::string data = (home / "DATA" / "QBX.DAT").string();
    // Built in a child, so the programs timed do not inherit the memory of
    // the tree as their high-water mark.
    std::fflush(stdout);
    if (const pid_t maker = ::fork(); maker == 0) {
        _exit(writeTree(records, oneBreakerPerName, data) ? 0 : 1);
    } else {
        int status = 0;
        ::waitpid(maker, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            std::exit(1);
    }
    // Every name is tested yearly, so every name is due.
    std::ofstream((home / "PLMView.INI").string()) << "[DefCnd]\r\nIntervalMonths=12\r\n";
    const double mb = static_cast<double>(fs::file_size(data)) / (1024.0 * 1024.0);

    const Run cat = bestOfThree({"/bin/cat", data});
    const std::vector<std::string> base = {tool, "--home", home.string()};
    auto with = [&](std::vector<std::string> args) {
        std::vector<std::string> all = base;
        all.insert(all.end(), args.begin(), args.end());
        return all;
    };
    const Run fleet = bestOfThree(with({"fleet"}));
    const Run due = bestOfThree(with({"due", "--within", "3650"}));
    std::printf("%d records, %.1f MB, %s: cat %.3f s wall, %.3f s cpu (best of 3)\n", records, mb,
                oneBreakerPerName ? "one breaker per name" : "one breaker per measurement",
                cat.seconds, cat.cpu);
    for (const auto& [name, run] : {std::pair{"fleet", fleet}, std::pair{"due  ", due}}) {
        std::printf("  plmtool %s %.3f s wall (%.2fx cat), %.3f s cpu, peak memory %.1f MB\n", name,
                    run.seconds, run.seconds / cat.seconds, run.cpu, run.peakKb / 1024.0);
    }
    if (keep)
        std::printf("  kept %s\n", dir.c_str());
    else
        fs::remove_all(dir);
}

int main(int argc, char** argv) {
    const std::string tool = PLMTOOL_PATH;
    if (tool.empty()) {
        std::fprintf(stderr, "built without plmtool\n");
        return 1;
    }
    const int records = argc > 1 ? std::atoi(argv[1]) : 200000;
    const bool keep = argc > 2 && std::string(argv[2]) == "--keep";
    // A name is one panel whose breaker is tested again and again; the
    // second file gives every measurement a breaker of its own, the most
    // breakers a fleet of that size can hold.
    benchFleet(tool, records, true, keep);
    benchFleet(tool, records, false, keep);
    std::printf("  (aim: within 3x cat)\n");
    return 0;
}
