// The cost of the backups of the data file, each against a baseline of the
// same run:
//   - a backup on the data file's file system (a hard link) and on another
//     one (a copy with fsync, /dev/shm when there is one) of a data file of
//     RECORDS records, against what its save costs at least: writing the same
//     bytes to a new file with fsync and renaming it into place;
//   - plmtool backups over 20 backups of a data file of 50 000 records,
//     against cat of those files and the data file;
//   - pruning a folder of 1 000 backups (reading the folder and removing
//     what the rule does not keep), against listing that folder with the
//     size of every file.
//
//   bench_backup [RECORDS]   runs in a scratch folder under /tmp (default 200000)
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <string>

#include "bench_timing.h"
#include "model/backup_folder.h"
#include "model/customer_tree.h"
#include "model/data_file.h"
#include "support/file_lock.h"
#include "support/paths.h"
#include "support/text_codec.h"
#include "synthetic_tree.h"

// Set by the build where plmtool is built; without it that figure is left out.
#ifndef PLMTOOL_PATH
#define PLMTOOL_PATH ""
#endif

namespace {

namespace fs = std::filesystem;
using plm::bench::best;

// What a save does with the bytes at least: a new file, fsync, rename.
void writeLikeASave(const std::string& bytes, const std::string& target) {
    const std::string temp = target + ".tmp";
    plm::support::UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666));
    plm::support::writeAll(fd.get(), bytes.data(), bytes.size());
    fsync(fd.get());
    fd.reset();
    fs::rename(temp, target);
}

double backupMs(const std::string& data, const std::string& folder) {
    plm::model::BackupSettings settings;
    settings.folder = plm::support::fromFsPath(folder);
    plm::model::setBackupSettings(settings);
    return best(5, [&] {
        const plm::support::UniqueFd fd(::open(data.c_str(), O_RDONLY));
        plm::model::keepBackup(plm::model::BackupKind::DataFile, data, fd.get(), nullptr);
    });
}

void fillFolder(const std::string& folder, int count) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::time_t t = 1700000000;  // 2023-11: three years of backups, one every 26 hours
    for (int i = 0; i < count; ++i, t += 26 * 3600) {
        std::tm local{};
        localtime_r(&t, &local);
        char name[64];
        std::strftime(name, sizeof name, "QBX_%Y%m%d_%H%M%S.DAT", &local);
        plm::support::UniqueFd(::open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT, 0666));
    }
}

// 20 backups of a 50 000-record file, each without one name of its own; the
// data file lacks a name that each of them holds.
void timeListing(const std::string& home) {
    const std::string folder = home + "/DATA/BACKUP";
    fs::create_directories(folder);
    plm::bench::SyntheticTreeShape shape;
    const plm::model::CustomerTree full = plm::bench::makeSyntheticTree(shape);
    plm::model::CustomerTree current = full;
    std::string files;
    for (int i = 0; i < 20; ++i) {
        plm::model::CustomerTree version = full;
        version.customers.at(i).circuits.at(1).names.removeAt(0);
        current.customers.at(i).circuits.at(0).names.removeAt(0);
        char name[64];
        std::snprintf(name, sizeof name, "/QBX_20261201_1200%02d.DAT", i);
        writeLikeASave(plm::model::writeDataFile(version), folder + name);
        files += std::string(" '") + folder + name + "'";
    }
    writeLikeASave(plm::model::writeDataFile(current), home + "/DATA/QBX.DAT");
    files += " '" + home + "/DATA/QBX.DAT'";
    const std::string cat = "cat" + files + " >/dev/null";
    const std::string list =
        std::string("'") + PLMTOOL_PATH + "' --home '" + home + "' backups >/dev/null";
    const double catMs = best(3, [&] { std::system(cat.c_str()); });
    const double listMs = best(3, [&] { std::system(list.c_str()); });
    std::printf("cat of 20 backups + data file: %8.1f ms\n", catMs);
    std::printf("plmtool backups:               %8.1f ms  (%.1f x cat; target: 3 x)\n", listMs,
                listMs / catMs);
}

}  // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 200000;
    const std::string root = "/tmp/bench_backup_" + std::to_string(getpid());
    fs::create_directories(root);
    const std::string data = root + "/QBX.DAT";

    plm::bench::SyntheticTreeShape shape;
    shape.records = std::max(1, records / (shape.customers * shape.circuits * shape.names));
    plm::model::CustomerTree tree = plm::bench::makeSyntheticTree(shape);
    const std::string bytes = plm::model::writeDataFile(tree);
    tree = {};
    writeLikeASave(bytes, data);
    std::printf("data file: %d records, %.1f MB\n", records, bytes.size() / 1048576.0);

    const double save = best(3, [&] { writeLikeASave(bytes, data); });
    const double link = backupMs(data, root + "/BACKUP");
    std::printf("save (write, fsync, rename): %8.2f ms\n", save);
    std::printf("backup as a link:            %8.2f ms  (%.4f x the save; target: +5 ms)\n", link,
                link / save);
    if (fs::is_directory("/dev/shm")) {
        const std::string other = "/dev/shm/bench_backup_" + std::to_string(getpid());
        const double copy = backupMs(data, other);
        std::printf("backup as a copy elsewhere:  %8.2f ms  (%.2f x the save; target: 1 copy)\n",
                    copy, copy / save);
        fs::remove_all(other);
    }

    const std::string folder = root + "/PRUNE";
    double list = 1e300;
    double prune = 1e300;
    for (int run = 0; run < 5; ++run) {
        fillFolder(folder, 1000);
        list = std::min(list, best(1, [&] {
                            uintmax_t total = 0;
                            for (const auto& e : fs::directory_iterator(folder))
                                total += e.file_size();
                            if (total == 1)
                                std::puts("");
                        }));
        std::time_t now = 1700000000 + 1000 * 26 * 3600;
        std::tm local{};
        localtime_r(&now, &local);
        prune = std::min(prune, best(1, [&] {
                             plm::model::pruneBackupFolder(folder, plm::model::PruneRule{}, local);
                         }));
    }
    const size_t left = static_cast<size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    std::printf("list 1000 backups:           %8.2f ms\n", list);
    std::printf("prune 1000 backups to %zu:    %8.2f ms  (%.1f x the listing; target: 50 ms)\n",
                left, prune, prune / list);
    if (*PLMTOOL_PATH)
        timeListing(root + "/LIST");
    fs::remove_all(root);
    return 0;
}
