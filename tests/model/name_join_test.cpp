#include "model/name_join.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "model/customer_exchange.h"
#include "model/data_file.h"
#include "model/data_file_scan.h"
#include "support/text_codec.h"
#include "tree_test_util.h"

namespace plm::model {
namespace {

namespace fs = std::filesystem;
using support::sj;
using test::Bytes;
using test::RecordingReporter;

std::string foldingFile() {
    return test::foldingDataFile();
}

std::string foldingNotice() {
    return support::fromUtf8(test::kFoldingNotice);
}

void expectJoinedRecords(const std::vector<MeasurementRecord>& records) {
    ASSERT_EQ(records.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(records[i].cond.comment, "comment" + std::to_string(i + 1)) << i;
        EXPECT_EQ(records[i].dataNo, i + 1) << i;
    }
}

std::vector<MeasurementRecord> recordsOf(const CustomerTree& tree) {
    EXPECT_EQ(tree.customers.count(), 1);
    const MeasurementName* name = findMeasurementName(tree, "x", "c", "n");
    if (!name)
        return {};
    return {name->records.begin(), name->records.end()};
}

TEST(NameJoin, LoadJoinsUnderTheFirstSpellingAndSaysSoOnce) {
    test::TempDir dir;
    const std::string path = dir.file("QBX.DAT");
    test::writeFile(path, foldingFile());
    CustomerTree tree;
    RecordingReporter reporter;
    ASSERT_TRUE(tree.load(path, reporter));
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].first, foldingNotice());
    const Customer& x = tree.customers.at(0);
    ASSERT_EQ(x.circuits.count(), 1);
    EXPECT_EQ(x.circuits.at(0).name, "C");
    ASSERT_EQ(x.circuits.at(0).names.count(), 1);
    EXPECT_EQ(x.circuits.at(0).names.at(0).name, "N");
    expectJoinedRecords(recordsOf(tree));
    // The file stays where it is; every record survives the next save.
    EXPECT_EQ(test::readFile(path), foldingFile());
    ASSERT_TRUE(tree.save(path, reporter));
    CustomerTree again;
    reporter.messages.clear();
    ASSERT_TRUE(again.load(path, reporter));
    EXPECT_TRUE(reporter.messages.empty());
    expectJoinedRecords(recordsOf(again));
}

TEST(NameJoin, ImportKeepsEveryRecord) {
    test::TempDir dir;
    const std::string path = dir.file("IN.QBX");
    test::writeFile(path, foldingFile());
    CustomerTree target;
    RecordingReporter reporter;
    EXPECT_EQ(importCustomers(target, path, reporter), std::vector<std::string>{"X"});
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].first, foldingNotice());
    expectJoinedRecords(recordsOf(target));
    EXPECT_EQ(test::readFile(path), foldingFile());
}

// A damaged file can join thousands of names: the notice stays short.
TEST(NameJoin, NoticeListsTheFirstTenJoins) {
    NameJoins joins;
    for (int i = 0; i < 12; ++i)
        joins.note("a" + std::to_string(i), "A" + std::to_string(i));
    const std::string text = support::toUtf8(joins.message());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 11);
    EXPECT_TRUE(text.ends_with("\na9 → A9\nほか 2 件")) << text;
}

// A scan joins as a load does, whatever it keeps.
TEST(NameJoin, ScanJoinsAsTheLoad) {
    test::TempDir dir;
    const std::string path = dir.file("QBX.DAT");
    test::writeFile(path, foldingFile());
    struct Case {
        ScanSelection selection;
        std::vector<int> keptSeeds;  // comment numbers of the kept records, by index
        uint32_t firstKept;
    };
    const Case cases[] = {
        {ScanSelection::outline(), {}, 0},
        {ScanSelection::wholeCustomer("x"), {1, 2, 3, 4}, 0},
        {ScanSelection::oneRecord("X", "C", "N", 0), {1}, 0},
        {ScanSelection::oneRecord("X", "C", "N", 1), {2}, 1},
        {ScanSelection::oneRecord("x", "C", "n", 2), {3}, 2},
        {ScanSelection::oneRecord("X", "C", "N", 4), {}, 4},
    };
    for (const Case& c : cases) {
        DataFileOutline outline;
        RecordingReporter reporter;
        ASSERT_TRUE(scanDataFile(path, c.selection, outline, reporter));
        ASSERT_EQ(reporter.messages.size(), 1u);
        EXPECT_EQ(reporter.messages[0].first, foldingNotice());
        ASSERT_EQ(outline.customers.count(), 1);
        ASSERT_EQ(outline.customers.at(0).circuits.count(), 1);
        const ScannedName* name = outline.find("X", "C", "N");
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(name->name, "N");
        EXPECT_EQ(name->recordCount, 4u);
        EXPECT_EQ(name->firstKept, c.firstKept);
        ASSERT_EQ(name->kept.size(), c.keptSeeds.size());
        for (size_t i = 0; i < c.keptSeeds.size(); ++i) {
            EXPECT_EQ(name->kept[i].cond.comment, "comment" + std::to_string(c.keptSeeds[i]));
            EXPECT_EQ(name->kept[i].dataNo, c.keptSeeds[i]);
        }
    }
    EXPECT_EQ(test::readFile(path), foldingFile());
}

// Bytes after the last customer would be dropped by the next save: the file
// is damaged, moved aside by a load that writes and left by a scan.
TEST(NameJoin, BytesAfterTheLastCustomerAreDamage) {
    test::TempDir dir;
    const std::string path = dir.file("QBX.DAT");
    CustomerTree tree;
    findOrAddMeasurementName(tree, "A", "t", "n").records.append(test::richRecord(1));
    const std::string bytes = writeDataFile(tree) + "tail";
    test::writeFile(path, bytes);

    DataFileOutline outline;
    RecordingReporter scanReporter;
    EXPECT_FALSE(scanDataFile(path, ScanSelection::outline(), outline, scanReporter));
    ASSERT_EQ(scanReporter.messages.size(), 1u);
    EXPECT_TRUE(scanReporter.messages[0].first.starts_with(sj("ｱｰｶｲﾌﾞ異常") + "\n4 bytes after"))
        << scanReporter.messages[0].first;
    EXPECT_EQ(test::readFile(path), bytes);

    CustomerTree loaded;
    RecordingReporter reporter;
    EXPECT_FALSE(loaded.load(path, reporter));
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_NE(reporter.messages[0].first.find(sj("元のファイルは次の名前に変更しました")),
              std::string::npos);
    EXPECT_FALSE(fs::exists(path));
}

}  // namespace
}  // namespace plm::model
