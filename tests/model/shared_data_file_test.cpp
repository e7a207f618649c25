#include "model/shared_data_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>

#include "common/temp_dir.h"
#include "model/data_file.h"
#include "support/text_codec.h"
#include "tree_test_util.h"

namespace plm::model {
namespace {

namespace fs = std::filesystem;
using support::sj;
using test::RecordingReporter;

CustomerTree treeFile(const std::string& path) {
    CustomerTree tree;
    RecordingReporter reporter;
    EXPECT_TRUE(tree.load(path, reporter));
    return tree;
}

int recordsUnder(const CustomerTree& tree, const char* customer) {
    const MeasurementName* name = findMeasurementName(tree, customer, "t", "n");
    return name ? name->records.count() : -1;
}

// Another program's read-change-write cycle on the same file.
void otherWriterAdds(const std::string& path, const char* customer, int seed) {
    SharedDataFile other(path);
    RecordingReporter reporter;
    ASSERT_TRUE(other.update(
        [&](CustomerTree& tree) {
            findOrAddMeasurementName(tree, customer, "t", "n").records.add(test::richRecord(seed));
        },
        reporter));
}

TEST(SharedDataFile, SaveKeepsWhatAnotherWriterAddedMeanwhile) {
    test::TempDir dir;
    const std::string path = dir.file("DATA/QBX.DAT");
    SharedDataFile file(path);
    CustomerTree tree;
    RecordingReporter reporter;
    ASSERT_TRUE(file.load(tree, reporter));
    EXPECT_FALSE(file.differsFromLastRead(tree));

    otherWriterAdds(path, "Other", 1);
    EXPECT_TRUE(file.changedOnDisk());
    findOrAddMeasurementName(tree, "Mine", "t", "n").records.add(test::richRecord(2));
    EXPECT_TRUE(file.differsFromLastRead(tree));
    ASSERT_TRUE(file.save(tree, reporter));

    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_FALSE(file.changedOnDisk());
    EXPECT_FALSE(file.differsFromLastRead(tree));
    for (const CustomerTree* seen : {&tree}) {
        EXPECT_EQ(recordsUnder(*seen, "Other"), 1);
        EXPECT_EQ(recordsUnder(*seen, "Mine"), 1);
    }
    const CustomerTree onDisk = treeFile(path);
    EXPECT_EQ(recordsUnder(onDisk, "Other"), 1);
    EXPECT_EQ(recordsUnder(onDisk, "Mine"), 1);

    // A second round: the merged version is now the one last read.
    otherWriterAdds(path, "Other", 3);
    tree.customers.removeAt(tree.customers.find("Mine"));
    ASSERT_TRUE(file.save(tree, reporter));
    EXPECT_EQ(recordsUnder(treeFile(path), "Other"), 2);
    EXPECT_EQ(recordsUnder(treeFile(path), "Mine"), -1);
}

// The device type of every record read under a customer, in order.
std::vector<int32_t> devTypesUnder(const CustomerTree& tree, const char* customer) {
    std::vector<int32_t> types;
    if (const MeasurementName* name = findMeasurementName(tree, customer, "t", "n")) {
        for (const MeasurementRecord& r : name->records)
            types.push_back(r.cond.devType);
    }
    return types;
}

// Whatever code the file stores (here the default one, 8 channels), every
// record that the file reads, merges in or hands to a change takes the
// device type the file was given.
TEST(SharedDataFile, RecordsReadTakeTheConfiguredDeviceType) {
    test::TempDir dir;
    const std::string path = dir.file("DATA/QBX.DAT");
    otherWriterAdds(path, "Stored", 1);
    SharedDataFile file(path, 1);
    CustomerTree tree;
    RecordingReporter reporter;
    ASSERT_TRUE(file.load(tree, reporter));
    EXPECT_EQ(devTypesUnder(tree, "Stored"), std::vector<int32_t>{1});

    otherWriterAdds(path, "Other", 2);
    findOrAddMeasurementName(tree, "Mine", "t", "n").records.add(test::richRecord(3));
    ASSERT_TRUE(file.save(tree, reporter));
    EXPECT_EQ(devTypesUnder(tree, "Other"), std::vector<int32_t>{1}) << "merged in";

    std::vector<int32_t> changed;
    ASSERT_TRUE(file.update(
        [&](CustomerTree& t) {
            for (const char* customer : {"Stored", "Other", "Mine"})
                changed.push_back(devTypesUnder(t, customer).at(0));
        },
        reporter));
    EXPECT_EQ(changed, (std::vector<int32_t>{1, 1, 1}));
    EXPECT_EQ(devTypesUnder(treeFile(path), "Mine"), std::vector<int32_t>{3})
        << "a tree of its own reads with the default";
    EXPECT_TRUE(reporter.messages.empty());
}

TEST(SharedDataFile, ConflictIsAskedAndTheVersionNotKeptStaysOnDisk) {
    for (ConflictChoice choice :
         {ConflictChoice::KeepMine, ConflictChoice::KeepTheirs, ConflictChoice::Unanswered}) {
        test::TempDir dir;
        const std::string path = dir.file("QBX.DAT");
        otherWriterAdds(path, "A", 1);
        SharedDataFile file(path);
        CustomerTree tree;
        RecordingReporter reporter;
        ASSERT_TRUE(file.load(tree, reporter));

        SharedDataFile other(path);
        ASSERT_TRUE(other.update(
            [](CustomerTree& t) {
                findOrAddMeasurementName(t, "A", "t", "n").records.at(0).cond.comment = "theirs";
            },
            reporter));
        findOrAddMeasurementName(tree, "A", "t", "n").records.at(0).cond.comment = "mine";

        const std::string theirsBytes = test::readFile(path);
        std::vector<ConflictQuestion> asked;
        const bool unanswered = choice == ConflictChoice::Unanswered;
        EXPECT_EQ(file.save(tree, reporter,
                            [&](const ConflictQuestion& q) {
                                asked.push_back(q);
                                return choice;
                            }),
                  !unanswered);
        ASSERT_EQ(asked.size(), 1u);
        ASSERT_EQ(asked[0].conflicts.size(), 1u);
        EXPECT_EQ(asked[0].conflicts[0].kind, MergeConflict::Kind::EditedOnBothSides);
        EXPECT_TRUE(std::regex_match(asked[0].keptAsidePath,
                                     std::regex(std::regex_replace(path, std::regex("\\."), "\\.") +
                                                "_conflict_20[0-9]{12}")))
            << asked[0].keptAsidePath;

        const bool mineKept = choice == ConflictChoice::KeepMine;
        auto comment = [](const CustomerTree& t) {
            return findMeasurementName(t, "A", "t", "n")->records.at(0).cond.comment;
        };
        EXPECT_EQ(comment(treeFile(path)), mineKept ? "mine" : "theirs");
        EXPECT_EQ(comment(treeFile(asked[0].keptAsidePath)), mineKept ? "theirs" : "mine");
        EXPECT_EQ(comment(tree), mineKept || unanswered ? "mine" : "theirs");
        if (unanswered) {
            // Nobody chose: the data file keeps its bytes, this side is beside it, and the
            // message says where.
            EXPECT_EQ(test::readFile(path), theirsBytes);
            ASSERT_FALSE(reporter.messages.empty());
            EXPECT_NE(reporter.messages.back().first.find(asked[0].keptAsidePath),
                      std::string::npos);
        }
    }
}

// Another program's write, made by a process of its own while the question
// is open: it must finish at once, since the lock is let go while the user
// decides.
void anotherProcessWrites(const std::string& path, const char* customer, const char* comment) {
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SharedDataFile other(path);
        RecordingReporter reporter;
        const bool ok = other.update(
            [&](CustomerTree& t) {
                findOrAddMeasurementName(t, customer, "t", "n").records.at(0).cond.comment =
                    comment;
            },
            reporter);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

std::string commentOf(const CustomerTree& t, const char* customer) {
    return findMeasurementName(t, customer, "t", "n")->records.at(0).cond.comment;
}

// Two conflicts, the second made by another program while the first is
// asked: each is asked once, each answer holds for its own name, and each
// question's path holds the version its answer did not keep.
TEST(SharedDataFile, NoLockIsHeldWhileAConflictIsAskedAndOnlyNewConflictsAreAskedAgain) {
    test::TempDir dir;
    const std::string path = dir.file("QBX.DAT");
    otherWriterAdds(path, "A", 1);
    otherWriterAdds(path, "B", 2);
    otherWriterAdds(path, "C", 3);
    SharedDataFile file(path);
    CustomerTree tree;
    RecordingReporter reporter;
    ASSERT_TRUE(file.load(tree, reporter));
    for (const char* customer : {"A", "B"})
        findOrAddMeasurementName(tree, customer, "t", "n").records.at(0).cond.comment = "mine";
    anotherProcessWrites(path, "A", "theirs");

    std::vector<ConflictQuestion> asked;
    ASSERT_TRUE(file.save(tree, reporter, [&](const ConflictQuestion& q) {
        asked.push_back(q);
        if (asked.size() == 1) {
            anotherProcessWrites(path, "B", "theirs again");
            anotherProcessWrites(path, "C", "unrelated");
            return ConflictChoice::KeepMine;
        }
        return ConflictChoice::KeepTheirs;
    }));

    ASSERT_EQ(asked.size(), 2u);
    ASSERT_EQ(asked[0].conflicts.size(), 1u);
    EXPECT_EQ(asked[0].conflicts[0].customer, "A");
    ASSERT_EQ(asked[1].conflicts.size(), 1u);
    EXPECT_EQ(asked[1].conflicts[0].customer, "B");
    EXPECT_NE(asked[0].keptAsidePath, asked[1].keptAsidePath);

    const CustomerTree saved = treeFile(path);
    EXPECT_EQ(commentOf(saved, "A"), "mine");
    EXPECT_EQ(commentOf(saved, "B"), "theirs again");
    EXPECT_EQ(commentOf(saved, "C"), "unrelated");
    EXPECT_TRUE(sameTree(saved, tree));
    const CustomerTree theirsAside = treeFile(asked[0].keptAsidePath);
    EXPECT_EQ(commentOf(theirsAside, "A"), "theirs");
    const CustomerTree mineAside = treeFile(asked[1].keptAsidePath);
    EXPECT_EQ(commentOf(mineAside, "B"), "mine");
}

// The file written meanwhile without a new conflict: the first answer holds
// and the other program's record is kept.
TEST(SharedDataFile, AnAnsweredConflictIsNotAskedAgainWhenTheFileChangedMeanwhile) {
    test::TempDir dir;
    const std::string path = dir.file("QBX.DAT");
    otherWriterAdds(path, "A", 1);
    SharedDataFile file(path);
    CustomerTree tree;
    RecordingReporter reporter;
    ASSERT_TRUE(file.load(tree, reporter));
    findOrAddMeasurementName(tree, "A", "t", "n").records.at(0).cond.comment = "mine";
    anotherProcessWrites(path, "A", "theirs");

    int questions = 0;
    ASSERT_TRUE(file.save(tree, reporter, [&](const ConflictQuestion&) {
        ++questions;
        otherWriterAdds(path, "During", 4);
        return ConflictChoice::KeepTheirs;
    }));
    EXPECT_EQ(questions, 1);
    const CustomerTree saved = treeFile(path);
    EXPECT_EQ(commentOf(saved, "A"), "theirs");
    EXPECT_EQ(recordsUnder(saved, "During"), 1);
}

// A data file that cannot be opened is reported, stays where it is, and is
// not written until a later load succeeds.
TEST(SharedDataFile, FileThatCannotBeOpenedIsLeftAndNotWritten) {
    test::TempDir dir;
    const std::string path = dir.file("QBX.DAT");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    SharedDataFile file(path);
    CustomerTree tree;
    RecordingReporter reporter;
    EXPECT_FALSE(file.load(tree, reporter));
    EXPECT_FALSE(file.available());
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].first, sj("ファイルを開くことが出来ません\n") + path);

    findOrAddMeasurementName(tree, "A", "t", "n");
    EXPECT_FALSE(file.save(tree, reporter));
    ASSERT_EQ(reporter.messages.size(), 2u);
    EXPECT_EQ(reporter.messages[1].first, sj("データファイルが使用できません\n") + path);
    EXPECT_TRUE(fs::is_fifo(path));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    // A writer without a loaded tree refuses the FIFO as well.
    SharedDataFile writer(path);
    EXPECT_FALSE(writer.update([](CustomerTree&) {}, reporter));
    EXPECT_TRUE(fs::is_fifo(path));

    fs::remove(path);
    EXPECT_TRUE(file.load(tree, reporter));
    EXPECT_TRUE(file.available());
}

// A failing change writes nothing, and leaves no empty file behind.
TEST(SharedDataFile, FailedChangeWritesNothing) {
    test::TempDir dir;
    const std::string path = dir.file("QBX.DAT");
    SharedDataFile file(path);
    RecordingReporter reporter;
    EXPECT_FALSE(file.update([](CustomerTree&) { throw CxException(sj("失敗")); }, reporter));
    EXPECT_FALSE(fs::exists(path));
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].first, sj("失敗"));
}

}  // namespace
}  // namespace plm::model
