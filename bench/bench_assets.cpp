// plmtool fleet and plmtool due on a data file of 200 000 records (1001
// samples each), each against cat of the same file, timed in the same run:
// both read every record once through the scanning reader and keep only
// the figures (fleet) or the date (due) of the newest measurement of each
// breaker or name. The synthetic tree gives every measurement a breaker of
// its own, the most a fleet can hold.
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
    long peakKb = 0;
};

// The best of three runs of a program, its output thrown away.
Run bestOfThree(const std::vector<std::string>& args) {
    Run best;
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
        best.peakKb = std::max(best.peakKb, usage.ru_maxrss);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string tool = PLMTOOL_PATH;
    if (tool.empty()) {
        std::fprintf(stderr, "built without plmtool\n");
        return 1;
    }
    const int records = argc > 1 ? std::atoi(argv[1]) : 200000;
    const fs::path dir =
        fs::temp_directory_path() / ("plm_bench_assets_" + std::to_string(getpid()));
    const fs::path home = dir / "home";
    fs::create_directories(home / "DATA");
    const std::string data = (home / "DATA" / "QBX.DAT").string();
    {
        plm::bench::SyntheticTreeShape shape;
        shape.customers = std::max(1, records / 1000);
        shape.records = records >= 1000 ? 10 : std::max(1, records / 100);
        struct Quiet : plm::model::ErrorReporter {
            void report(const std::string& text, plm::model::MessageIcon) override {
                std::fprintf(stderr, "%s\n", plm::support::toUtf8(text).c_str());
                std::exit(1);
            }
        } reporter;
        if (!plm::bench::makeSyntheticTree(shape).save(plm::support::fromFsPath(data), reporter))
            return 1;
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
    std::printf("%d records, %.1f MB: cat %.3f s (best of 3)\n", records, mb, cat.seconds);
    std::printf("  plmtool fleet %.3f s (%.2fx cat), peak memory %.1f MB\n", fleet.seconds,
                fleet.seconds / cat.seconds, fleet.peakKb / 1024.0);
    std::printf("  plmtool due   %.3f s (%.2fx cat), peak memory %.1f MB\n", due.seconds,
                due.seconds / cat.seconds, due.peakKb / 1024.0);
    std::printf("  (aim: within 3x cat)\n");
    if (argc > 2 && std::string(argv[2]) == "--keep")
        std::printf("  kept %s\n", dir.c_str());
    else
        fs::remove_all(dir);
    return 0;
}
