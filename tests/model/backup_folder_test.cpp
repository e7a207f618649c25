#include "model/backup_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "analysis/limits_file.h"
#include "common/fixtures.h"
#include "common/temp_dir.h"
#include "model/shared_data_file.h"
#include "support/file_lock.h"
#include "support/paths.h"
#include "tree_test_util.h"

namespace plm::model {
namespace {

namespace fs = std::filesystem;

// The settings of one test: a backup folder of its own, restored afterwards.
class BackupFolderGuard {
  public:
    explicit BackupFolderGuard(const std::string& folderFsPath) : previous_(backupSettings()) {
        BackupSettings settings;
        settings.folder = support::fromFsPath(folderFsPath);
        setBackupSettings(settings);
    }
    ~BackupFolderGuard() { setBackupSettings(previous_); }

  private:
    BackupSettings previous_;
};

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_ino;
}

void saveWith(const std::string& path, int seed) {
    SharedDataFile file(support::fromFsPath(path));
    test::RecordingReporter reporter;
    ASSERT_TRUE(file.update(
        [&](CustomerTree& tree) {
            findOrAddMeasurementName(tree, "c", "t", "n").records.add(test::richRecord(seed));
        },
        reporter));
    EXPECT_TRUE(reporter.messages.empty());
}

// On the data file's file system the backup is the replaced file itself, linked.
TEST(BackupFolderTest, BackupOnTheSameFileSystemIsTheReplacedFile) {
    test::TempDir dir;
    BackupFolderGuard guard(dir.file("backup"));
    const std::string data = dir.file("QBX.DAT");
    saveWith(data, 1);
    EXPECT_TRUE(listBackups(BackupKind::DataFile).empty());  // nothing was replaced
    const ino_t first = inodeOf(data);
    const std::string firstBytes = test::readFile(data);
    saveWith(data, 2);
    const auto backups = listBackups(BackupKind::DataFile);
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(inodeOf(backups[0].fsPath), first);
    EXPECT_EQ(test::readFile(backups[0].fsPath), firstBytes);
    EXPECT_NE(test::readFile(data), firstBytes);
}

// LIMITS.INI, which a person may edit in place, is copied.
TEST(BackupFolderTest, LimitsFileChangeKeepsACopyOfTheOldOne) {
    test::TempDir dir;
    BackupFolderGuard guard(dir.file("backup"));
    const std::string limits = dir.file("LIMITS.INI");
    auto setMax = [&](int64_t value) {
        analysis::updateLimits(limits, [&](analysis::LimitsBook& book) {
            book.entry("c", "t", "").limits.closeMaxUs = value;
        });
    };
    setMax(50000);
    const std::string old = test::readFile(limits);
    setMax(60000);
    const auto backups = listBackups(BackupKind::Limits);
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(test::readFile(backups[0].fsPath), old);
    EXPECT_NE(inodeOf(backups[0].fsPath), inodeOf(limits));
    EXPECT_TRUE(listBackups(BackupKind::DataFile).empty());
}

// Another file system gets a copy under a temporary name first: a copy
// killed half-way leaves the data file and every earlier backup as they were
// and no backup name on a part of a file; the next backup clears it away.
TEST(BackupFolderTest, CopyKilledHalfWayLeavesNoPartialBackup) {
    if (!fs::is_directory("/dev/shm"))
        GTEST_SKIP() << "no second file system";
    test::TempDir dir;
    const std::string folder = "/dev/shm/plm-backup-" + std::to_string(getpid());
    fs::remove_all(folder);
    BackupFolderGuard guard(folder);
    const std::string data = dir.file("QBX.DAT");
    saveWith(data, 1);
    saveWith(data, 2);
    const auto earlier = listBackups(BackupKind::DataFile);
    ASSERT_EQ(earlier.size(), 1u);
    EXPECT_NE(inodeOf(earlier[0].fsPath), 0u);
    const std::string earlierBytes = test::readFile(earlier[0].fsPath);

    // A large file, so that the copy takes a while.
    test::writeFile(data, std::string(64 << 20, 'x'));
    const std::string dataBytes = test::readFile(data);
    for (int delayMs : {1, 5, 15}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const support::UniqueFd fd(::open(data.c_str(), O_RDONLY));
            keepBackup(BackupKind::DataFile, data, fd.get(), nullptr);
            _exit(0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
    }
    EXPECT_EQ(test::readFile(data), dataBytes);
    for (const BackupFile& b : listBackups(BackupKind::DataFile)) {
        if (b.fsPath == earlier[0].fsPath)
            EXPECT_EQ(test::readFile(b.fsPath), earlierBytes);
        else
            EXPECT_EQ(b.size, static_cast<int64_t>(dataBytes.size())) << b.fsPath;
    }
    saveWith(data + "2", 3);
    saveWith(data + "2", 4);
    for (const std::string& name : test::filesIn(folder))
        EXPECT_TRUE(parseBackupName(name).has_value()) << name;
    fs::remove_all(folder);
}

}  // namespace
}  // namespace plm::model
