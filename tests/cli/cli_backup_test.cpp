#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli/tool_run.h"
#include "common/fixtures.h"
#include "common/temp_dir.h"
#include "model/customer_tree.h"
#include "model/data_file.h"
#include "model/shared_data_file.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::cli {
namespace {

namespace fs = std::filesystem;

std::string capturePath() {
    return fs::absolute(test::dataPath("capture_two.txt")).string();
}

std::string dataFile(const test::TempDir& dir) {
    return (dir.path() / "home" / "DATA" / "QBX.DAT").string();
}

fs::path backupFolder(const test::TempDir& dir) {
    return dir.path() / "home" / "DATA" / "BACKUP";
}

void registerName(const test::TempDir& dir, const std::string& customer, const std::string& name) {
    const ToolRun run = plmtool(dir, {"register", capturePath(), customer, "t", name});
    ASSERT_EQ(run.status, 0) << run.err;
}

// The measurement names of a data file, as "customer/circuit/name".
std::set<std::string> namesIn(const std::string& fsPath) {
    model::CustomerTree tree;
    model::FileIdentity identity;
    test::FailingReporter reporter;
    EXPECT_EQ(model::loadDataFile(tree, support::fromFsPath(fsPath), reporter,
                                  model::DamagedFile::Leave, identity),
              model::LoadOutcome::Loaded)
        << fsPath;
    std::set<std::string> names;
    for (const model::Customer& c : tree.customers) {
        for (const model::TestCircuit& t : c.circuits) {
            for (const model::MeasurementName& n : t.names)
                names.insert(c.name + "/" + t.name + "/" + n.name);
        }
    }
    return names;
}

// The stamp of the newest backup, the first word of `plmtool backups`.
std::string newestStamp(const test::TempDir& dir) {
    const ToolRun run = plmtool(dir, {"backups"});
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out.substr(0, run.out.find(' '));
}

// Each writer keeps the version it replaces: eight writers at once after a
// first one leave eight backups, each one whole earlier version.
TEST(CliBackup, ConcurrentWritersKeepEveryEarlierVersion) {
    test::TempDir dir;
    registerName(dir, "A", "n0");
    std::string command = "cd '" + dir.path().string() + "' && (";
    for (int i = 1; i <= 8; ++i) {
        command += std::string("'") + PLMTOOL_PATH + "' --home home register '" + capturePath() +
                   "' A t n" + std::to_string(i) + " >/dev/null & ";
    }
    command += "wait) 2>err.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(test::readFile(dir.file("err.txt")), "");

    const std::vector<std::string> backups = test::filesIn(backupFolder(dir));
    ASSERT_EQ(backups.size(), 8u);
    std::set<size_t> sizes;
    std::set<std::string> all;
    for (const std::string& name : backups) {
        const std::set<std::string> names = namesIn((backupFolder(dir) / name).string());
        sizes.insert(names.size());
        all.insert(names.begin(), names.end());
    }
    // One version of every length from one name to eight, none twice.
    EXPECT_EQ(sizes, (std::set<size_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(namesIn(dataFile(dir)).size(), 9u);
}

// A customer deleted by another writer (as PLMView deletes and saves) comes
// back through restore record for record: its export is the same file.
TEST(CliBackup, RestoreBringsBackADeletedCustomerByteForByte) {
    test::TempDir dir;
    registerName(dir, "A", "a1");
    registerName(dir, "B", "b1");
    registerName(dir, "B", "b2");
    ASSERT_EQ(plmtool(dir, {"export", "B", "before.QBX"}).status, 0);
    {
        test::ProgramFolderGuard home((dir.path() / "home").string());
        model::SharedDataFile file(support::fromFsPath(dataFile(dir)));
        model::CustomerTree tree;
        test::FailingReporter reporter;
        ASSERT_TRUE(file.load(tree, reporter));
        tree.customers.removeAt(tree.customers.find("B"));
        ASSERT_TRUE(file.save(tree, reporter));
    }
    registerName(dir, "A", "a2");  // a change after the delete, which a restore keeps
    ASSERT_EQ(plmtool(dir, {"list"}).out.find("B\n"), std::string::npos);

    const ToolRun listed = plmtool(dir, {"backups"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("lacks 2 measurement(s) and the name under B / t / b2"),
              std::string::npos)
        << listed.out;

    // The backup made by the delete's save still holds B; a2 came later.
    std::string stamp;
    for (const std::string& line : test::splitLines(listed.out)) {
        if (!line.starts_with(" ") && line.find("4 not in the data file") != std::string::npos)
            stamp = line.substr(0, line.find(' '));
    }
    ASSERT_FALSE(stamp.empty()) << listed.out;
    const ToolRun restored = plmtool(dir, {"restore", stamp});
    ASSERT_EQ(restored.status, 0) << restored.err;
    EXPECT_NE(restored.out.find("restored 4 measurement(s) from the backup " + stamp),
              std::string::npos)
        << restored.out;

    ASSERT_EQ(plmtool(dir, {"export", "B", "after.QBX"}).status, 0);
    EXPECT_EQ(test::readFile(dir.file("after.QBX")), test::readFile(dir.file("before.QBX")));
    EXPECT_EQ(namesIn(dataFile(dir)),
              (std::set<std::string>{"A/t/a1", "A/t/a2", "B/t/b1", "B/t/b2"}));

    // The restore kept the file it replaced: restoring that one takes it back.
    const std::string beforeRestore = newestStamp(dir);
    ASSERT_EQ(plmtool(dir, {"restore", beforeRestore, "--replace"}).status, 0);
    EXPECT_EQ(namesIn(dataFile(dir)), (std::set<std::string>{"A/t/a1", "A/t/a2"}));
}

TEST(CliBackup, ReplaceMakesTheBackupTheDataFile) {
    test::TempDir dir;
    registerName(dir, "A", "a1");
    registerName(dir, "A", "a2");
    const std::string first = newestStamp(dir);
    const std::string backupBytes =
        test::readFile((backupFolder(dir) / ("QBX_" + first + ".DAT")).string());
    const std::string current = test::readFile(dataFile(dir));
    const ToolRun run = plmtool(dir, {"restore", first, "--replace"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(test::readFile(dataFile(dir)), backupBytes);
    EXPECT_EQ(test::readFile((backupFolder(dir) / ("QBX_" + newestStamp(dir) + ".DAT")).string()),
              current);
}

// A folder that cannot take a backup stops no save: told once on stderr, status 0.
TEST(CliBackup, SaveGoesOnWhenTheBackupFolderCannotBeWritten) {
    test::TempDir dir;
    registerName(dir, "A", "a1");
    test::writeFile(dir.file("plain"), "not a folder");
    const std::string ini = (dir.path() / "home" / "PLMView.INI").string();
    test::writeFile(ini, (fs::exists(ini) ? test::readFile(ini) : std::string()) +
                             "[Backup]\r\nFolder=" + dir.file("plain") + "/BACKUP\r\n");
    const ToolRun run = plmtool(dir, {"register", capturePath(), "A", "t", "a2"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, support::toUtf8(support::sj(
                           "以前のデータのバックアップを作成できません（データは保存します）\n")) +
                           dir.file("plain") + "/BACKUP\n" +
                           support::toUtf8(support::sj("フォルダではないものがパスにあります")) +
                           "\n");
    EXPECT_EQ(namesIn(dataFile(dir)), (std::set<std::string>{"A/t/a1", "A/t/a2"}));
}

// A damaged backup is reported as a damaged data file, listed as damaged and never used.
TEST(CliBackup, DamagedBackupIsReportedAndNeverUsed) {
    test::TempDir dir;
    registerName(dir, "A", "a1");
    registerName(dir, "A", "a2");
    const std::string damaged = (backupFolder(dir) / "QBX_20200101_000000.DAT").string();
    test::writeFile(damaged, "no data file");
    const std::string current = test::readFile(dataFile(dir));

    const ToolRun listed = plmtool(dir, {"backups"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.out.find("20200101_000000  damaged\n"), std::string::npos) << listed.out;
    // The good backup is listed all the same.
    EXPECT_NE(listed.out.find("1 customer(s), 2 measurement(s)"), std::string::npos) << listed.out;
    EXPECT_FALSE(listed.err.empty());

    const ToolRun restored = plmtool(dir, {"restore", "20200101_000000"});
    EXPECT_EQ(restored.status, 1);
    EXPECT_EQ(restored.err, listed.err);
    EXPECT_EQ(test::readFile(dataFile(dir)), current);
    EXPECT_EQ(test::readFile(damaged), "no data file");
    EXPECT_EQ(plmtool(dir, {"restore", "20200101_000001"}).status, 1);
}

}  // namespace
}  // namespace plm::cli
