#include <fcntl.h>
#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <functional>

#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "common/fixtures.h"
#include "common/temp_dir.h"
#include "model/data_file.h"
#include "support/paths.h"
#include "support/text_codec.h"
#include "tree_test_util.h"

namespace plm::model {
namespace {

namespace fs = std::filesystem;
using support::sj;
using test::Bytes;
using test::RecordingReporter;

// Names of the files in `dir` other than `keep`.
std::vector<std::string> otherFiles(const fs::path& dir, const std::string& keep = {}) {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        if (name != keep)
            out.push_back(name);
    }
    return out;
}

// True when `dir` holds exactly one file and it is "<name>_YYYYMMDDhhmmss"
// with the bytes given.
void expectMovedAside(const fs::path& dir, const std::string& name, const std::string& bytes) {
    auto files = otherFiles(dir);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(std::regex_match(files[0], std::regex(name + "_20[0-9]{12}"))) << files[0];
    EXPECT_EQ(test::readFile((dir / files[0]).string()), bytes);
}

CustomerTree sampleTree() {
    CustomerTree tree;
    tree.lineSettings.port = 3;
    findOrAddMeasurementName(tree, "A", "t", "n").records.append(test::richRecord(1, 3));
    findOrAddMeasurementName(tree, "B", "t", "n").records.append(test::richRecord(2, 2));
    return tree;
}

TEST(DataFileLoad, MissingFileIsAnEmptyTreeAndLeavesNothing) {
    test::TempDir dir;
    CustomerTree tree = sampleTree();
    RecordingReporter reporter;
    EXPECT_TRUE(tree.load(dir.file("QBX.DAT"), reporter));
    EXPECT_EQ(tree.customers.count(), 0);
    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_TRUE(otherFiles(dir.path()).empty());
}

TEST(DataFileLoad, SaveCreatesFoldersAndLoadsBackIdentically) {
    test::TempDir dir;
    const std::string path = dir.file("DATA/sub/QBX.DAT");
    RecordingReporter reporter;
    const CustomerTree tree = sampleTree();
    ASSERT_TRUE(tree.save(path, reporter));
    EXPECT_EQ(test::readFile(path), writeDataFile(tree));

    // Saving again replaces the file and leaves no temporary file behind.
    ASSERT_TRUE(CustomerTree().save(path, reporter));
    EXPECT_EQ(test::readFile(path).size(), 64u);
    ASSERT_TRUE(tree.save(path, reporter));
    EXPECT_EQ(otherFiles(dir.path() / "DATA/sub", "QBX.DAT").size(), 0u);

    CustomerTree back;
    ASSERT_TRUE(back.load(path, reporter));
    EXPECT_EQ(writeDataFile(back), writeDataFile(tree));
    EXPECT_TRUE(reporter.messages.empty());
}

// Long loads and saves let the GUI show that they work: the bytes done so
// far, rising to the whole file (a load knows the size beforehand, a save not).
TEST(DataFileLoad, LoadAndSaveTellTheirProgress) {
    struct Progress : RecordingReporter {
        std::vector<std::pair<uint64_t, uint64_t>> steps;
        void fileProgress(uint64_t done, uint64_t total) override {
            steps.emplace_back(done, total);
        }
    };
    auto rising = [](const Progress& p) {
        for (size_t i = 1; i < p.steps.size(); ++i) {
            if (p.steps[i].first < p.steps[i - 1].first)
                return false;
        }
        return true;
    };
    test::TempDir dir;
    const std::string path = dir.file("QBX.DAT");
    CustomerTree tree;
    for (int i = 0; i < 200; ++i)  // 1 MB: several pieces of the read buffer
        findOrAddMeasurementName(tree, "c", "t", "n").records.append(test::richRecord(i, 5000));
    Progress saving;
    ASSERT_TRUE(tree.save(path, saving));
    const uint64_t size = test::readFile(path).size();
    ASSERT_GE(saving.steps.size(), 2u);
    EXPECT_TRUE(rising(saving));
    EXPECT_EQ(saving.steps.back(), std::make_pair(size, uint64_t{0}));

    Progress loading;
    ASSERT_TRUE(CustomerTree().load(path, loading));
    ASSERT_GE(loading.steps.size(), 3u);
    EXPECT_TRUE(rising(loading));
    EXPECT_EQ(loading.steps.front().second, size);
    EXPECT_EQ(loading.steps.back(), std::make_pair(size, size));
    EXPECT_TRUE(loading.messages.empty());
}

// A version 1 file from an older installation loads, and saving it writes
// version 6 with the later items 0 and the configured device type.
TEST(DataFileLoad, Version1FileIsSavedAsVersion6) {
    test::TempDir dir;
    const std::string path = dir.file("QBX.DAT");
    test::writeFile(path, test::readFile(test::dataPath("datafiles/version1.dat")));
    CustomerTree tree;
    RecordingReporter reporter;
    ASSERT_TRUE(tree.load(path, reporter));
    EXPECT_EQ(tree.lineSettings.port, 2);
    EXPECT_EQ(tree.lineSettings.baud, 9600);
    const MeasurementName* name = findMeasurementName(tree, sj("東京"), sj("回路A"), sj("点1"));
    ASSERT_NE(name, nullptr);
    ASSERT_EQ(name->records.count(), 2);
    const MeasurementRecord& r = name->records.at(0);
    EXPECT_EQ(r.contacts, (std::vector<uint8_t>{7, 7, 0}));
    EXPECT_EQ(r.testDateTimeText(), "2008/04/03 12:00");
    EXPECT_EQ(r.measureType, 0);
    EXPECT_EQ(r.measureOpe, 0);
    EXPECT_EQ(r.noiseMask, 0);
    EXPECT_EQ(r.cond.devType, 3);
    EXPECT_EQ(r.cond.mcMaker, sj("メーカー"));
    EXPECT_EQ(r.cond.sesshoku, (std::array<double, 3>{10, 20, 30}));
    EXPECT_NE(tree.customers.get(sj("ソフト")), nullptr);

    ASSERT_TRUE(tree.save(path, reporter));
    EXPECT_EQ(test::readFile(path), test::readFile(test::dataPath("datafiles/version1_as6.dat")));
    EXPECT_TRUE(reporter.messages.empty());
}

TEST(DataFileLoad, LeadingDotMeansTheProgramFolder) {
    test::TempDir dir;
    test::ProgramFolderGuard folder(dir.path().string());
    RecordingReporter reporter;
    EXPECT_TRUE(sampleTree().save(".\\DATA\\QBX.DAT", reporter));
    EXPECT_TRUE(fs::exists(dir.path() / "DATA" / "QBX.DAT"));
    CustomerTree back;
    EXPECT_TRUE(back.load(".\\DATA\\QBX.DAT", reporter));
    EXPECT_EQ(back.customers.count(), 2);
}

// Unreadable files: one message, false, the file moved aside, an empty tree.
TEST(DataFileLoad, UnreadableFilesAreReportedOnceAndMovedAside) {
    std::string badSignature = Bytes().header(6, 0).s;
    badSignature[1] = 'S';
    const std::string msg131 =
        sj("データファイルが読めません\n壊れている可能性があります\n新規に作成します");
    const std::string msg130 = sj("このデータファイルのバージョンは読めません\n新規に作成します");
    struct Case {
        std::string bytes;
        std::string message;  // whole text, or the first line of the archive failure
        MessageIcon icon;
    };
    const Case cases[] = {
        {badSignature, msg131, MessageIcon::Stop},
        {Bytes().header(7, 0).s, msg130, MessageIcon::Stop},
        {Bytes().header(0, 0).s, msg130, MessageIcon::Stop},
        {"", sj("ｱｰｶｲﾌﾞ異常"), MessageIcon::Plain},
        {badSignature.substr(0, 36), sj("ｱｰｶｲﾌﾞ異常"), MessageIcon::Plain},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const std::string path = dir.file("QBX.DAT");
        test::writeFile(path, c.bytes);
        CustomerTree tree = sampleTree();
        RecordingReporter reporter;
        EXPECT_FALSE(tree.load(path, reporter));
        EXPECT_EQ(tree.customers.count(), 0);
        ASSERT_EQ(reporter.messages.size(), 1u) << c.message;
        const auto& [text, icon] = reporter.messages[0];
        // The designed message, then where the file went.
        const size_t note = text.find(sj("\n元のファイルは次の名前に変更しました\n"));
        ASSERT_NE(note, std::string::npos) << text;
        const std::string designed = text.substr(0, note);
        if (icon == MessageIcon::Plain) {
            EXPECT_EQ(designed.substr(0, designed.find('\n')), c.message);
            EXPECT_TRUE(designed.ends_with("\n.\\DAT_CUSTOMER(181)")) << designed;
        } else {
            EXPECT_EQ(designed, c.message);
        }
        EXPECT_EQ(icon, c.icon);
        expectMovedAside(dir.path(), "QBX.DAT", c.bytes);
        EXPECT_TRUE(text.ends_with("\n" + dir.file(otherFiles(dir.path())[0])));
    }
}

// A file moved aside never replaces an earlier one of the same second.
TEST(DataFileLoad, MovingAsideKeepsEarlierFilesOfTheSameName) {
    test::TempDir dir;
    const std::string path = dir.file("QBX.DAT");
    std::vector<std::string> decoys;
    const std::time_t now = std::time(nullptr);
    for (std::time_t t = now; t < now + 3; ++t) {
        std::tm local{};
        localtime_r(&t, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
        decoys.push_back(path + "_" + stamp);
        test::writeFile(decoys.back(), "earlier");
    }
    test::writeFile(path, "bad");
    CustomerTree tree;
    RecordingReporter reporter;
    EXPECT_FALSE(tree.load(path, reporter));
    EXPECT_FALSE(fs::exists(path));
    for (const auto& decoy : decoys)
        EXPECT_EQ(test::readFile(decoy), "earlier");
    int found = 0;
    for (const auto& name : otherFiles(dir.path())) {
        found += test::readFile((dir.path() / name).string()) == "bad";
    }
    EXPECT_EQ(found, 1);
}

TEST(DataFileLoad, FailurePartWayKeepsTheCustomersBefore) {
    test::TempDir dir;
    const std::string path = dir.file("QBX.DAT");
    const std::string bytes = writeDataFile(sampleTree());
    RecordingReporter reporter;
    for (size_t cut = 1; cut < bytes.size(); ++cut) {
        test::writeFile(path, bytes.substr(0, bytes.size() - cut));
        CustomerTree tree;
        reporter.messages.clear();
        ASSERT_FALSE(tree.load(path, reporter));
        ASSERT_EQ(reporter.messages.size(), 1u);
        ASSERT_FALSE(fs::exists(path));
        // Only whole customers are taken: A when B is cut, nothing otherwise.
        const bool bCut = bytes.size() - cut >= bytes.find(
                                                    "\x01"
                                                    "B");
        EXPECT_EQ(tree.customers.count(), bCut ? 1 : 0) << cut;
        for (const auto& name : otherFiles(dir.path()))
            fs::remove(dir.path() / name);
    }
}

TEST(DataFileLoad, FailureTextIsCutTo99BytesOnACharacterBoundary) {
    const std::string description = std::string(98, 'x') + sj("異常");
    EXPECT_EQ(failureText(sj("例外発生"), description),
              sj("例外発生") + "\n" + std::string(98, 'x') + "\n.\\DAT_CUSTOMER(181)");
}

// A file held by another process is waited for, not given up at once.
TEST(DataFileLoad, WaitsForAnotherProcessHoldingTheFile) {
    test::TempDir dir;
    const std::string path = dir.file("QBX.DAT");
    RecordingReporter reporter;
    ASSERT_TRUE(sampleTree().save(path, reporter));
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int fd = ::open(path.c_str(), O_RDONLY);
        flock(fd, LOCK_EX);
        (void)!write(ready[1], "x", 1);
        usleep(600000);
        _exit(0);
    }
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    const auto start = std::chrono::steady_clock::now();
    CustomerTree tree;
    EXPECT_TRUE(tree.load(path, reporter));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    EXPECT_EQ(tree.customers.count(), 2);
    EXPECT_TRUE(reporter.messages.empty());
    waitpid(pid, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
}

TEST(DataFileSave, UnwritablePlaceIsTheOpenFailure) {
    test::TempDir dir;
    test::writeFile(dir.file("plain"), "x");
    const std::string path = dir.file("plain/sub/QBX.DAT");
    RecordingReporter reporter;
    EXPECT_FALSE(sampleTree().save(path, reporter));
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].first, sj("ファイルを開くことが出来ません\n") + path +
                                              sj("\nフォルダではないものがパスにあります"));
    EXPECT_EQ(reporter.messages[0].second, MessageIcon::Information);
    EXPECT_EQ(test::readFile(dir.file("plain")), "x");

    // A folder where the file should be is left alone.
    fs::create_directories(dir.path() / "QBX.DAT" / "inside");
    reporter.messages.clear();
    EXPECT_FALSE(sampleTree().save(dir.file("QBX.DAT"), reporter));
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].first, sj("ファイルを開くことが出来ません\n") +
                                              dir.file("QBX.DAT") +
                                              sj("\n通常のファイルではありません"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "QBX.DAT" / "inside"));
}

// Two processes saving different trees over and over while a third loads:
// every load sees one whole tree or the other, never a mixture.
TEST(DataFileSave, ConcurrentSavesNeverInterleave) {
    test::TempDir dir;
    const std::string path = dir.file("QBX.DAT");
    CustomerTree first = sampleTree();
    CustomerTree second;
    findOrAddMeasurementName(second, "Z", "t", "n").records.append(test::richRecord(3, 4000));
    const std::string bytes[] = {writeDataFile(first), writeDataFile(second)};
    RecordingReporter quiet;
    ASSERT_TRUE(first.save(path, quiet));

    std::vector<pid_t> children;
    for (const CustomerTree* tree : {&first, &second}) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            RecordingReporter reporter;
            bool ok = true;
            for (int i = 0; i < 30; ++i)
                ok = ok && tree->save(path, reporter);
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (int i = 0; i < 30; ++i) {
        CustomerTree loaded;
        RecordingReporter reporter;
        ASSERT_TRUE(loaded.load(path, reporter)) << reporter.messages[0].first;
        const std::string seen = writeDataFile(loaded);
        EXPECT_TRUE(seen == bytes[0] || seen == bytes[1]);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string last = test::readFile(path);
    EXPECT_TRUE(last == bytes[0] || last == bytes[1]);
}

// A save killed at any moment leaves the old or the new file, whole.
TEST(DataFileSave, KilledSaveLeavesAWholeFile) {
    test::TempDir dir;
    const std::string path = dir.file("QBX.DAT");
    CustomerTree small = sampleTree();
    CustomerTree large;
    for (int i = 0; i < 40; ++i) {
        findOrAddMeasurementName(large, "L" + std::to_string(i), "t", "n")
            .records.append(test::richRecord(i, 50000));
    }
    const std::string bytes[] = {writeDataFile(small), writeDataFile(large)};
    RecordingReporter reporter;
    for (int round = 0; round < 8; ++round) {
        ASSERT_TRUE(small.save(path, reporter));
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            RecordingReporter quiet;
            large.save(path, quiet);
            _exit(0);
        }
        usleep(static_cast<useconds_t>(round * 3000));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        const std::string now = test::readFile(path);
        EXPECT_TRUE(now == bytes[0] || now == bytes[1]) << round << ": " << now.size();
    }
    // The temporary files of the killed saves go with the next save.
    ASSERT_TRUE(small.save(path, reporter));
    EXPECT_EQ(otherFiles(dir.path(), "QBX.DAT"), std::vector<std::string>{});
}

// Saves `tree` to `path` in a child process set up by `prepare` (limits,
// another user): true when the save failed with exactly one message.
bool saveFailsOnceInChild(const CustomerTree& tree, const std::string& path,
                          const std::function<void()>& prepare) {
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        prepare();
        RecordingReporter child;
        const bool saved = tree.save(path, child);
        _exit(!saved && child.messages.size() == 1 ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A save that fails part-way (here: the file size limit, as on a full disk)
// leaves the old file where it is, whole.
TEST(DataFileSave, FailedSaveLeavesTheOldFileInPlace) {
    test::TempDir dir;
    const std::string path = dir.file("QBX.DAT");
    RecordingReporter reporter;
    ASSERT_TRUE(sampleTree().save(path, reporter));
    const std::string before = test::readFile(path);
    CustomerTree large;
    findOrAddMeasurementName(large, "L", "t", "n").records.append(test::richRecord(1, 200000));
    EXPECT_TRUE(saveFailsOnceInChild(large, path, [] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
    }));
    EXPECT_EQ(test::readFile(path), before);
    EXPECT_EQ(otherFiles(dir.path(), "QBX.DAT"), std::vector<std::string>{});
}

// A file the user may not write is not replaced by renaming a new one over it.
TEST(DataFileSave, ReadOnlyFileIsNotReplaced) {
    test::TempDir dir;
    const std::string path = dir.file("QBX.DAT");
    RecordingReporter reporter;
    ASSERT_TRUE(sampleTree().save(path, reporter));
    const std::string before = test::readFile(path);
    fs::permissions(dir.path(), fs::perms::all);
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_TRUE(saveFailsOnceInChild(CustomerTree(), path, [] {
        // Permissions mean nothing to root: save as an ordinary user.
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
    }));
    EXPECT_EQ(test::readFile(path), before);
    EXPECT_EQ(otherFiles(dir.path(), "QBX.DAT"), std::vector<std::string>{});
}

}  // namespace
}  // namespace plm::model
