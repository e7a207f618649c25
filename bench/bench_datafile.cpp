// Data files of 1 000 to 200 000 records (1001 samples each), each measured
// against baselines taken in the same run on the same file:
//   - plmtool list and show (a scan of the file) against cat of the file, with
//     the peak memory of the plmtool process against the file size;
//   - loading the file into a tree against reading its bytes into new memory,
//     each in a fresh process, so that both pay for memory the kernel has not
//     handed out yet (a process that freed a large tree reads into memory
//     it already holds, several times faster);
//   - the deep copy of the tree (the data management sheet's working copy);
//   - saving the tree against writing the same bytes to a new file with fsync
//     and renaming it into place, as a save does.
// Then name lookups and inserts in a collection of 10 000 names.
//
//   bench_datafile [RECORDS...]  runs in a scratch folder under /tmp
//                                (default 1000 10000 50000 200000)
//   bench_datafile --child F OUT (internal) loads, copies and saves F, figures to OUT
//   bench_datafile --read F OUT  (internal) reads F into new memory, its time to OUT
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

// Set by the build where plmtool is built (it needs Qt); without it the
// plmtool figures are left out.
#ifndef PLMTOOL_PATH
#define PLMTOOL_PATH ""
#endif

namespace {

using Clock = std::chrono::steady_clock;
namespace model = plm::model;
namespace fs = std::filesystem;

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

// The load's baseline: the file read into freshly allocated memory of its
// size, which pays the page faults that any load of the tree pays too.
double readIntoMemory(const std::string& from) {
    auto start = Clock::now();
    int in = ::open(from.c_str(), O_RDONLY);
    if (in < 0)
        std::exit(1);
    std::string all;
    all.resize(static_cast<size_t>(fs::file_size(from)));
    size_t done = 0;
    ssize_t n;
    while (done < all.size() && (n = ::read(in, all.data() + done, all.size() - done)) > 0) {
        done += static_cast<size_t>(n);
    }
    ::close(in);
    return secondsSince(start);
}

// Writes all of `bytes` to a new file at `path`, fsynced.
void writeFile(const std::string& path, const std::string& bytes) {
    int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0)
        std::exit(1);
    for (size_t done = 0; done < bytes.size();) {
        const size_t chunk = std::min<size_t>(64 * 1024, bytes.size() - done);
        if (::write(out, bytes.data() + done, chunk) != static_cast<ssize_t>(chunk))
            std::exit(1);
        done += chunk;
    }
    ::fsync(out);
    ::close(out);
}

// The save's baseline, the same work without the tree: the same bytes
// written to a new file beside a file of that size, fsynced, renamed over
// it (which frees the old file) and the folder fsynced. The bytes are read
// and the old file written beforehand, so only the save's own steps count.
double writeWithFsync(const std::string& from, const std::string& to) {
    int in = ::open(from.c_str(), O_RDONLY);
    if (in < 0)
        std::exit(1);
    std::string all;
    all.resize(static_cast<size_t>(fs::file_size(from)));
    for (size_t done = 0; done < all.size();) {
        const ssize_t n = ::read(in, all.data() + done, all.size() - done);
        if (n <= 0)
            std::exit(1);
        done += static_cast<size_t>(n);
    }
    ::close(in);
    writeFile(to, all);
    auto start = Clock::now();
    const std::string temporary = to + ".tmp";
    writeFile(temporary, all);
    std::rename(temporary.c_str(), to.c_str());
    int folder = ::open(fs::path(to).parent_path().c_str(), O_RDONLY | O_DIRECTORY);
    ::fsync(folder);
    ::close(folder);
    return secondsSince(start);
}

struct ChildRun {
    double seconds = 0;
    long peakKb = 0;
};

// Starts programs for the parent and reports the wall time and peak memory of
// each. It is forked at the start while the parent is small: a process
// forked later would inherit the parent's memory high-water mark, and keep
// it across exec.
class Launcher {
  public:
    Launcher() {
        int toLauncher[2], fromLauncher[2];
        if (::pipe(toLauncher) != 0 || ::pipe(fromLauncher) != 0)
            std::exit(1);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(toLauncher[1]);
            ::close(fromLauncher[0]);
            serve(::fdopen(toLauncher[0], "r"), ::fdopen(fromLauncher[1], "w"));
            _exit(0);
        }
        ::close(toLauncher[0]);
        ::close(fromLauncher[1]);
        requests_ = ::fdopen(toLauncher[1], "w");
        replies_ = ::fdopen(fromLauncher[0], "r");
    }
    ~Launcher() {
        std::fclose(requests_);
        std::fclose(replies_);
        ::waitpid(pid_, nullptr, 0);
    }

    // The best of three runs of a program whose output is thrown away.
    ChildRun run(const std::vector<std::string>& args) {
        ChildRun best{1e9, 0};
        for (int round = 0; round < 3; ++round) {
            for (const auto& a : args)
                std::fprintf(requests_, "%s\x1f", a.c_str());
            std::fputc('\n', requests_);
            std::fflush(requests_);
            ChildRun one;
            int status = -1;
            if (std::fscanf(replies_, "%lf %ld %d", &one.seconds, &one.peakKb, &status) != 3 ||
                status != 0) {
                std::fprintf(stderr, "%s failed\n", args[0].c_str());
                std::exit(1);
            }
            best.seconds = std::min(best.seconds, one.seconds);
            best.peakKb = std::max(best.peakKb, one.peakKb);
        }
        return best;
    }

  private:
    static void serve(FILE* requests, FILE* replies) {
        char* line = nullptr;
        size_t size = 0;
        while (::getline(&line, &size, requests) > 0) {
            std::vector<std::string> args;
            std::string current;
            for (const char* c = line; *c && *c != '\n'; ++c) {
                if (*c == '\x1f') {
                    args.push_back(current);
                    current.clear();
                } else {
                    current += *c;
                }
            }
            auto start = Clock::now();
            pid_t pid = ::fork();
            if (pid == 0) {
                int null = ::open("/dev/null", O_WRONLY);
                ::dup2(null, 1);
                std::vector<char*> argv;
                for (auto& a : args)
                    argv.push_back(a.data());
                argv.push_back(nullptr);
                ::execv(argv[0], argv.data());
                _exit(127);
            }
            int status = 0;
            rusage usage{};
            ::wait4(pid, &status, 0, &usage);
            std::fprintf(replies, "%f %ld %d\n", secondsSince(start), usage.ru_maxrss,
                         WIFEXITED(status) ? WEXITSTATUS(status) : -1);
            std::fflush(replies);
        }
        std::free(line);
    }

    pid_t pid_ = -1;
    FILE* requests_ = nullptr;
    FILE* replies_ = nullptr;
};

// The figures of a child are appended to OUT, one line a run, since the
// launcher runs each child three times.
FILE* openFigures(const std::string& figures) {
    return std::fopen(figures.c_str(), "a");
}

// Runs in a fresh process so that its peak memory is the load, copy and save alone.
int childLoadCopySave(const std::string& path, const std::string& figures) {
    const long before = peakKb();
    Reporter reporter;
    model::CustomerTree tree;
    auto start = Clock::now();
    if (!tree.load(plm::support::fromFsPath(path), reporter))
        return 1;
    const double load = secondsSince(start);
    const long afterLoad = peakKb();
    start = Clock::now();
    model::CustomerTree copy = tree;
    const double deepCopy = secondsSince(start);
    start = Clock::now();
    if (!copy.save(plm::support::fromFsPath(path), reporter))
        return 1;
    const double save = secondsSince(start);
    FILE* out = openFigures(figures);
    if (!out)
        return 1;
    std::fprintf(out, "%f %f %f %ld\n", load, deepCopy, save, afterLoad - before);
    return std::fclose(out) == 0 ? 0 : 1;
}

int childRead(const std::string& path, const std::string& figures) {
    const double read = readIntoMemory(path);
    FILE* out = openFigures(figures);
    if (!out)
        return 1;
    std::fprintf(out, "%f\n", read);
    return std::fclose(out) == 0 ? 0 : 1;
}

// The best of each column over the runs a child appended to `figures`
// (the largest, for the memory columns named in `largest`).
std::vector<double> bestFigures(const std::string& figures, size_t columns,
                                const std::vector<size_t>& largest = {}) {
    std::vector<double> best(columns, 1e300);
    for (size_t c : largest)
        best[c] = 0;
    FILE* in = std::fopen(figures.c_str(), "r");
    if (!in)
        std::exit(1);
    bool any = false;
    for (;;) {
        std::vector<double> row(columns);
        size_t read = 0;
        while (read < columns && std::fscanf(in, "%lf", &row[read]) == 1)
            ++read;
        if (read != columns)
            break;
        any = true;
        for (size_t c = 0; c < columns; ++c) {
            const bool keepLargest = std::find(largest.begin(), largest.end(), c) != largest.end();
            best[c] = keepLargest ? std::max(best[c], row[c]) : std::min(best[c], row[c]);
        }
    }
    std::fclose(in);
    fs::remove(figures);
    if (!any)
        std::exit(1);
    return best;
}

// The synthetic tree with `records` measurements: 10 per name, 10 names per
// circuit, 10 circuits per customer.
model::CustomerTree makeTree(int records) {
    plm::bench::SyntheticTreeShape shape;
    shape.customers = std::max(1, records / 1000);
    shape.records = records >= 1000 ? 10 : records / 100;
    return plm::bench::makeSyntheticTree(shape);
}

void benchSize(Launcher& launcher, const fs::path& dir, const std::string& self, int records) {
    const std::string path = (dir / "QBX.DAT").string();
    {
        Reporter reporter;
        if (!makeTree(records).save(plm::support::fromFsPath(path), reporter))
            std::exit(1);
    }
    const double fileMb = static_cast<double>(fs::file_size(path)) / (1024.0 * 1024.0);
    const std::string home = (dir / "home").string();
    const std::string tool = PLMTOOL_PATH;
    // One record of the middle customer, found by name like a user would.
    const std::string customer = plm::support::toUtf8(plm::support::format(
        plm::support::sj("需要家 %03d 電力株式会社").c_str(), std::max(1, records / 1000) / 2));
    const std::string circuit = plm::support::toUtf8(plm::support::sj("第5変電所 6.6kV 回路"));
    const std::string name = plm::support::toUtf8(plm::support::sj("測定点 05"));

    const ChildRun cat = launcher.run({"/bin/cat", path});
    ChildRun list, show, idle;
    if (!tool.empty()) {
        list = launcher.run({tool, "--home", home, "--data", path, "list"});
        show = launcher.run(
            {tool, "--home", home, "--data", path, "show", customer, circuit, name, "0"});
        idle = launcher.run({tool, "--home", home, "--data", home + "/none.DAT", "list"});
    }

    const std::string figures = (dir / "figures.txt").string();
    const ChildRun loadCopySave = launcher.run({self, "--child", path, figures});
    const std::vector<double> loaded = bestFigures(figures, 4, {3});
    const double load = loaded[0], deepCopy = loaded[1], save = loaded[2];
    const double loadKb = loaded[3];
    launcher.run({self, "--read", path, figures});
    const double read = bestFigures(figures, 1)[0];
    // Best of three, as the save it is compared with: an fsync now and then
    // waits on the disk for far longer than the write.
    double write = 1e300;
    for (int round = 0; round < 3; ++round)
        write = std::min(write, writeWithFsync(path, (dir / "copy.DAT").string()));

    std::printf("%7d records, %6.1f MB: cat %.3f s\n", records, fileMb, cat.seconds);
    if (!tool.empty()) {
        std::printf("  plmtool list %.3f s (%.2fx cat), show %.3f s (%.2fx cat)\n", list.seconds,
                    list.seconds / cat.seconds, show.seconds, show.seconds / cat.seconds);
        std::printf(
            "  plmtool peak memory: list %.1f MB, show %.1f MB, with no data file %.1f MB "
            "(file / 4 = %.1f MB)\n",
            list.peakKb / 1024.0, show.peakKb / 1024.0, idle.peakKb / 1024.0, fileMb / 4);
    }
    std::printf("  load %.3f s (%.2fx reading the file into memory %.3f s)\n", load, load / read,
                read);
    std::printf(
        "  deep copy of the tree %.1f ms; memory after load %.1f MB (%.2fx the file), "
        "%.1f MB at the peak with the copy\n",
        deepCopy * 1000, loadKb / 1024.0, loadKb / 1024.0 / fileMb, loadCopySave.peakKb / 1024.0);
    std::printf("  save %.3f s (%.2fx writing the same bytes with fsync %.3f s)\n", save,
                save / write, write);
    std::fflush(stdout);
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
    if (argc == 4 && std::string(argv[1]) == "--child")
        return childLoadCopySave(argv[2], argv[3]);
    if (argc == 4 && std::string(argv[1]) == "--read")
        return childRead(argv[2], argv[3]);
    Launcher launcher;

    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {1000, 10000, 50000, 200000};
    const fs::path dir =
        fs::temp_directory_path() / ("plm_bench_datafile_" + std::to_string(getpid()));
    fs::create_directories(dir / "home");
    const std::string self = fs::canonical("/proc/self/exe").string();
    for (int records : sizes)
        benchSize(launcher, dir, self, records);
    benchNames();
    fs::remove_all(dir);
    return 0;
}
