#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "report/batch_csv.h"
#include "report/batch_selection.h"
#include "report/batch_summary.h"
#include "support/cx_exception.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::report {
namespace {

namespace fs = std::filesystem;
using support::sj;

model::MeasurementRecord record(int dataNo, int day, size_t samples = 21) {
    model::MeasurementRecord r;
    r.cond.devType = 1;  // four channels
    r.measPeriod = 2;
    r.dataNo = dataNo;
    support::CalendarFields f;
    f.year = 2024;
    f.month = 5;
    f.day = day;
    f.hour = 9;
    f.minute = 30;
    f.second = dataNo;
    support::fieldsToOle(f, r.testDateTime.value);
    r.testDateTime.status = support::DateStatus::Valid;
    r.contacts.assign(samples, 0);
    // Channel 1 closes at sample 5 + dataNo.
    for (size_t i = 5 + static_cast<size_t>(dataNo); i < samples; ++i)
        r.contacts[i] = 1;
    return r;
}

void file(model::CustomerTree& tree, const std::string& customer, const std::string& circuit,
          const std::string& name, std::vector<int> dataNos) {
    model::MeasurementName& leaf = model::findOrAddMeasurementName(tree, customer, circuit, name);
    for (int no : dataNos)
        leaf.records.append(record(no, 10 + no));
}

// Names added out of order; the tree sorts them (letter case ignored).
model::CustomerTree sampleTree() {
    model::CustomerTree tree;
    file(tree, "beta", "c2", "n1", {1});
    file(tree, "Alpha", "c2", "n1", {4});
    file(tree, "Alpha", "c1", "n2", {3});
    file(tree, "Alpha", "c1", "n1", {1, 2});
    file(tree, "Alpha", "c1", "empty", {});
    return tree;
}

std::vector<std::string> labels(const std::vector<BatchItem>& items) {
    std::vector<std::string> out;
    for (const BatchItem& item : items) {
        out.push_back(item.level1 + "/" + item.level2 + "/" + item.level3 + "#" +
                      std::to_string(item.index) + ":" + std::to_string(item.record->dataNo));
    }
    return out;
}

TEST(BatchSelection, TheNumberOfNamesSaysTheLevelAndItemsComeInTreeOrder) {
    const model::CustomerTree tree = sampleTree();
    struct Case {
        BatchScope scope;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {{{"alpha"}}, {"Alpha/c1/n1#0:1", "Alpha/c1/n1#1:2", "Alpha/c1/n2#0:3", "Alpha/c2/n1#0:4"}},
        {{{"Alpha", "C1"}}, {"Alpha/c1/n1#0:1", "Alpha/c1/n1#1:2", "Alpha/c1/n2#0:3"}},
        {{{"Alpha", "c1", "n1"}}, {"Alpha/c1/n1#0:1", "Alpha/c1/n1#1:2"}},
        {{{"Alpha", "c1", "n1"}, 1}, {"Alpha/c1/n1#1:2"}},
        {{{"Alpha", "c1", "empty"}}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(labels(selectBatch(tree, c.scope)), c.expected) << c.scope.names.size();
}

TEST(BatchSelection, UnknownNamesAndIndexesAreRefused) {
    const model::CustomerTree tree = sampleTree();
    EXPECT_THROW(selectBatch(tree, {{"gamma"}}), std::invalid_argument);
    EXPECT_THROW(selectBatch(tree, {{"Alpha", "c3"}}), std::invalid_argument);
    EXPECT_THROW(selectBatch(tree, {{"Alpha", "c1", "n9"}}), std::invalid_argument);
    EXPECT_THROW(selectBatch(tree, {{"Alpha", "c1", "n1"}, 2}), std::out_of_range);
    EXPECT_THROW(selectBatch(tree, {{}}), std::invalid_argument);
}

TEST(BatchFileNames, HostileNamesBecomeSafeFileNameParts) {
    struct Case {
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"a/b\\c", "a_b_c"},
        {"x:*?\"<>|y", "x_______y"},
        {"tab\there\nnl\x7f", "tab_here_nl_"},
        {".hidden", "_hidden"},
        {"..", "_."},
        {"../../etc", "_._.._etc"},
        // Trail bytes 0x5C ("表") and 0x7C ("ポ") belong to their characters.
        {sj("表ポ/"), sj("表ポ") + "_"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fileNamePart(c.in), c.out) << support::toUtf8(c.in);
    // Cut on a character boundary: three bytes allow one double-byte character.
    EXPECT_EQ(fileNamePart(sj("表表表"), 3), sj("表"));
    EXPECT_EQ(fileNamePart(std::string(200, 'x')).size(), 60u);
}

TEST(BatchFileNames, PatternAndSuffixesForNamesThatFallTogether) {
    model::CustomerTree tree;
    // Three names of the tree that fall together as file names (letter case
    // included), and two measurements with the same number and date.
    file(tree, "Cust", "Circ", "a/b", {7});
    file(tree, "Cust", "Circ", "A:B", {7});
    file(tree, "Cust", "Circ", "a_b", {7});
    file(tree, "Cust", "Circ", "n", {7, 7});
    std::vector<BatchItem> items = selectBatch(tree, {{"Cust"}});
    ASSERT_EQ(items.size(), 5u);
    model::MeasurementRecord undated = *items[0].record;
    undated.testDateTime.status = support::DateStatus::Null;
    items.push_back({"Cust", "Circ", "n", 2, &undated});
    const std::vector<std::string> expected = {
        "Cust_Circ_a_b_No7_20240517_093007.CSV",   "Cust_Circ_A_B_No7_20240517_093007_2.CSV",
        "Cust_Circ_a_b_No7_20240517_093007_3.CSV", "Cust_Circ_n_No7_20240517_093007.CSV",
        "Cust_Circ_n_No7_20240517_093007_2.CSV",   "Cust_Circ_n_No7.CSV",
    };
    EXPECT_EQ(batchCsvFileNames(items), expected);
}

TEST(BatchSummary, OneRowPerMeasurementWithEachChannelsOperatingTime) {
    model::CustomerTree tree = sampleTree();
    model::MeasurementRecord eight = record(2, 3);
    eight.cond.devType = 3;
    eight.contacts.assign(21, 0x80);  // channel 8 never changes
    model::findMeasurementName(tree, "beta", "c2", "n1")->records.append(eight);
    settings::AppSettings settings;
    const BatchSummary summary = batchSummary(settings, selectBatch(tree, {{"beta"}}));
    EXPECT_EQ(summary.channelColumns, 8);
    ASSERT_EQ(summary.header.size(), 14u);
    EXPECT_EQ(summary.header[3], sj("データ№"));
    EXPECT_EQ(summary.header[13], sj("８CH"));
    ASSERT_EQ(summary.rows.size(), 2u);
    // 2 ms per sample: channel 1 closes 5 samples after sample 1.
    EXPECT_EQ(summary.rows[0][0], "beta");
    EXPECT_EQ(summary.rows[0][3], "1");
    EXPECT_EQ(summary.rows[0][4], "2024/05/11 09:30");
    EXPECT_EQ(summary.rows[0][6], "10");
    EXPECT_EQ(summary.rows[0][9], "---");
    EXPECT_EQ(summary.rows[0][10], "");  // a four-channel record has no fifth channel
    EXPECT_EQ(summary.rows[1][13], "---");
    EXPECT_FALSE(summary.verdictColumn);

    const std::vector<BatchItem> items = selectBatch(tree, {{"beta"}});
    const BatchSummary judged = batchSummary(settings, items, {sj("不合格"), sj("合格")});
    EXPECT_TRUE(judged.verdictColumn);
    EXPECT_EQ(judged.header.back(), sj("判定"));
    EXPECT_EQ(judged.rows[0].back(), sj("不合格"));
    EXPECT_EQ(judged.rows[1].back(), sj("合格"));
    EXPECT_EQ(judged.rows[1][13], "---");
    EXPECT_THROW(batchSummary(settings, items, {sj("合格")}), std::invalid_argument);
}

class BatchCsv : public ::testing::Test {
  protected:
    std::string folder() const { return support::fromFsPath(dir.file("out")); }

    std::vector<std::string> filesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path() / "out"))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    model::CustomerTree tree = sampleTree();
    std::vector<BatchItem> items = selectBatch(tree, {{"Alpha"}});
    CsvLayout layout;
    test::TempDir dir;
};

TEST_F(BatchCsv, EachFileHoldsTheSameBytesAsTheSingleMeasurementCsv) {
    const BatchCsvResult result = writeBatchCsv(folder(), layout, items, false);
    EXPECT_FALSE(result.cancelled);
    const std::vector<std::string> names = batchCsvFileNames(items);
    ASSERT_EQ(result.written.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(result.written[i], folder() + "/" + names[i]);
        const CsvNames csvNames{items[i].level1, items[i].level2, items[i].level3};
        EXPECT_EQ(test::readFile(dir.file("out/" + names[i])),
                  csvText(layout, csvNames, *items[i].record));
    }
    EXPECT_EQ(filesInFolder().size(), items.size());
}

TEST_F(BatchCsv, AnExistingFileIsKeptUnlessOverwriting) {
    const std::vector<std::string> names = batchCsvFileNames(items);
    fs::create_directories(dir.path() / "out");
    test::writeFile(dir.file("out/" + names[2]), "keep");
    EXPECT_EQ(existingBatchFiles(folder(), names),
              std::vector<std::string>{folder() + "/" + names[2]});
    try {
        writeBatchCsv(folder(), layout, items, false);
        FAIL() << "overwrote " << names[2];
    } catch (const CxException& e) {
        EXPECT_EQ(e.text(), sj("指定のファイルは既に存在しています\n") + folder() + "/" + names[2]);
    }
    EXPECT_EQ(test::readFile(dir.file("out/" + names[2])), "keep");
    EXPECT_EQ(filesInFolder().size(), 3u);  // the two before it, whole, and no temporary file

    const BatchCsvResult result = writeBatchCsv(folder(), layout, items, true);
    EXPECT_EQ(result.written.size(), items.size());
    EXPECT_NE(test::readFile(dir.file("out/" + names[2])), "keep");
}

TEST_F(BatchCsv, CancelOrFailureLeavesOnlyWholeFiles) {
    std::vector<int> asked;
    const BatchCsvResult cancelled =
        writeBatchCsv(folder(), layout, items, false, [&](int done, int total, const BatchItem&) {
            asked.push_back(done);
            EXPECT_EQ(total, 4);
            return done < 2;
        });
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_EQ(asked, (std::vector<int>{0, 1, 2}));
    const std::vector<std::string> names = batchCsvFileNames(items);
    EXPECT_EQ(filesInFolder(), (std::vector<std::string>{names[0], names[1]}));

    // A record with one sample cannot be written: the run ends there.
    fs::remove_all(dir.path() / "out");
    model::MeasurementRecord broken = *items[1].record;
    broken.contacts.resize(1);
    items[1].record = &broken;
    EXPECT_THROW(writeBatchCsv(folder(), layout, items, false), std::out_of_range);
    EXPECT_EQ(filesInFolder(), std::vector<std::string>{names[0]});
}

TEST_F(BatchCsv, AFolderThatTakesNoFileIsAnOpenError) {
    test::writeFile(dir.file("out"), "a file, not a folder");
    try {
        writeBatchCsv(folder(), layout, items, false);
        FAIL();
    } catch (const CxException& e) {
        EXPECT_EQ(e.text().rfind("OpenError\n" + folder() + "/", 0), 0u) << e.text();
    }
}

}  // namespace
}  // namespace plm::report
