// Loading and saving a large data file next to a plain copy of the same file,
// the peak memory of a process that loads and saves it, and name lookups and
// inserts in a collection of 10 000 names.
//
//   bench_datafile            runs everything in a scratch folder under /tmp
//   bench_datafile --child F  (internal) loads and saves F, prints peak memory
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "model/customer_tree.h"
#include "support/paths.h"
#include "support/text_codec.h"
#include "synthetic_tree.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace model = plm::model;

struct Reporter : model::ErrorReporter {
    void report(const std::string& text, model::MessageIcon) override {
        std::fprintf(stderr, "%s\n", plm::support::toUtf8(text).c_str());
        std::exit(1);
    }
};

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long peakKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The baseline: read the whole file and write it to another one with plain
// read/write, then fsync (saving fsyncs too).
double plainCopy(const std::string& from, const std::string& to) {
    auto start = Clock::now();
    int in = ::open(from.c_str(), O_RDONLY);
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0)
        std::exit(1);
    std::vector<char> buffer(1 << 16);
    ssize_t n;
    while ((n = ::read(in, buffer.data(), buffer.size())) > 0) {
        if (::write(out, buffer.data(), static_cast<size_t>(n)) != n)
            std::exit(1);
    }
    ::fsync(out);
    ::close(in);
    ::close(out);
    return secondsSince(start);
}

// A second baseline: the file read into freshly allocated memory of its size,
// which pays the page faults that any load of the tree pays too.
double readIntoMemory(const std::string& from) {
    auto start = Clock::now();
    int in = ::open(from.c_str(), O_RDONLY);
    if (in < 0)
        std::exit(1);
    std::string all;
    all.resize(static_cast<size_t>(std::filesystem::file_size(from)));
    size_t done = 0;
    ssize_t n;
    while (done < all.size() && (n = ::read(in, all.data() + done, all.size() - done)) > 0) {
        done += static_cast<size_t>(n);
    }
    ::close(in);
    return secondsSince(start);
}

// Runs in a fresh process so that its peak memory is the load and save alone.
int childLoadSave(const std::string& path) {
    const long before = peakKb();
    Reporter reporter;
    model::CustomerTree tree;
    auto start = Clock::now();
    if (!tree.load(plm::support::fromFsPath(path), reporter))
        return 1;
    const double load = secondsSince(start);
    const long afterLoad = peakKb();
    start = Clock::now();
    if (!tree.save(plm::support::fromFsPath(path), reporter))
        return 1;
    const double save = secondsSince(start);
    std::printf("%f %f %ld %ld %ld\n", load, save, before, afterLoad, peakKb());
    return 0;
}

template <class Fn>
double nsPerOp(int ops, Fn fn) {
    auto start = Clock::now();
    fn();
    return secondsSince(start) * 1e9 / ops;
}

void benchNames() {
    constexpr int kNames = 10000;
    model::NamedCollection<model::MeasurementName> names;
    std::vector<std::string> keys;
    for (int i = 0; i < kNames; ++i) {
        keys.push_back(
            plm::support::format(plm::support::sj("測定点 %05d").c_str(), i * 7919 % kNames));
        names.findOrAdd(keys.back());
    }
    long found = 0;
    const double lookup = nsPerOp(kNames * 10, [&] {
        for (int round = 0; round < 10; ++round) {
            for (const auto& key : keys)
                found += names.find(key) >= 0;
        }
    });
    const double insert = nsPerOp(kNames, [&] {
        for (int i = 0; i < kNames; ++i) {
            std::string key = keys[static_cast<size_t>(i)] + "x";
            names.removeAt(names.findOrAdd(key));
        }
    });
    std::printf("names: lookup %.0f ns, insert+remove %.0f ns in a collection of %d (%ld found)\n",
                lookup, insert, names.count(), found);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--child")
        return childLoadSave(argv[2]);

    const auto dir =
        std::filesystem::temp_directory_path() / ("plm_bench_datafile_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "QBX.DAT").string();
    const std::string copy = (dir / "copy.DAT").string();
    {
        auto start = Clock::now();
        model::CustomerTree tree = plm::bench::makeSyntheticTree();
        std::printf("generated 50 x 10 x 10 names, 50000 records of 1001 samples in %.2f s\n",
                    secondsSince(start));
        Reporter reporter;
        if (!tree.save(plm::support::fromFsPath(path), reporter))
            return 1;
    }
    const double fileMb = static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);

    const double copySeconds = plainCopy(path, copy);
    const double readSeconds = readIntoMemory(copy);
    const std::string command = std::string("'") + argv[0] + "' --child '" + path + "'";
    FILE* child = popen(command.c_str(), "r");
    double load = 0, save = 0;
    long before = 0, afterLoad = 0, peak = 0;
    if (!child ||
        std::fscanf(child, "%lf %lf %ld %ld %ld", &load, &save, &before, &afterLoad, &peak) != 5) {
        return 1;
    }
    pclose(child);

    std::printf("file %.1f MB; plain copy %.3f s; read into new memory %.3f s\n", fileMb,
                copySeconds, readSeconds);
    std::printf("load %.3f s (%.2fx copy, %.2fx read), save %.3f s (%.2fx copy)\n", load,
                load / copySeconds, load / readSeconds, save, save / copySeconds);
    std::printf(
        "peak memory: %.1f MB at start, %.1f MB after load, %.1f MB after save "
        "(%.2fx the file, %.2fx without the start)\n",
        before / 1024.0, afterLoad / 1024.0, peak / 1024.0, peak / 1024.0 / fileMb,
        (peak - before) / 1024.0 / fileMb);
    benchNames();
    std::filesystem::remove_all(dir);
    return 0;
}
