#include "model/backup_restore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "model/data_file.h"
#include "tree_test_util.h"

namespace plm::model {
namespace {

using test::RecordingReporter;

using test::richRecord;

// One line per name, for comparing and for showing a difference.
std::string described(const std::vector<MissingMeasurements>& missing) {
    std::string text;
    for (const MissingMeasurements& m : missing)
        text += m.customer + "/" + m.circuit + "/" + m.name + (m.nameMissing ? " name " : " ") +
                std::to_string(m.count) + "\n";
    return text;
}

// A listing scans each backup; what it says must be what comparing the
// loaded backup says, for names that a load joins as well.
TEST(BackupComparer, SaysWhatComparingTheLoadedBackupSays) {
    test::TempDir dir;
    const std::string path = dir.file("QBX_20260101_000000.DAT");
    test::writeFile(path, test::foldingDataFile());
    CustomerTree backup;
    RecordingReporter loadReporter;
    ASSERT_TRUE(backup.load(path, loadReporter));

    CustomerTree oneOfThem;  // seed 2 of the joined X/C/N, and a name the backup lacks
    findOrAddMeasurementName(oneOfThem, "X", "C", "n").records.append(richRecord(2));
    findOrAddMeasurementName(oneOfThem, "Y", "C", "N");
    CustomerTree otherContent;  // the same dates, other contents
    for (int seed : {1, 2, 3, 4}) {
        MeasurementRecord r = richRecord(seed);
        r.cond.comment = "changed";
        findOrAddMeasurementName(otherContent, "x", "c", "N").records.append(r);
    }
    const CustomerTree empty;
    for (const CustomerTree* current :
         std::vector<const CustomerTree*>{&empty, &oneOfThem, &otherContent, &backup}) {
        BackupComparer comparer(*current);
        BackupSummary summary;
        RecordingReporter reporter;
        ASSERT_TRUE(comparer.summarize({{}, path, 0}, summary, reporter));
        EXPECT_EQ(summary.customers, 1);
        EXPECT_EQ(summary.measurements, 4);
        const std::string expected = described(missingFrom(*current, backup));
        EXPECT_EQ(described(summary.missing), expected);
        // A second backup compared against the same current data starts afresh.
        BackupSummary again;
        ASSERT_TRUE(comparer.summarize({{}, path, 0}, again, reporter));
        EXPECT_EQ(described(again.missing), expected);
    }
    EXPECT_EQ(missingCount(missingFrom(oneOfThem, backup)), 3);
}

TEST(BackupComparer, DamagedBackupIsReportedAsALoadReportsIt) {
    test::TempDir dir;
    const std::string path = dir.file("QBX_20260101_000000.DAT");
    std::string bytes = test::foldingDataFile();
    bytes.resize(bytes.size() - 10);
    test::writeFile(path, bytes);
    RecordingReporter loadReporter;
    CustomerTree loaded;
    EXPECT_FALSE(loadBackup({{}, path, 0}, loaded, loadReporter));

    const CustomerTree current;
    BackupComparer comparer(current);
    BackupSummary summary;
    RecordingReporter reporter;
    EXPECT_FALSE(comparer.summarize({{}, path, 0}, summary, reporter));
    EXPECT_EQ(reporter.messages, loadReporter.messages);
    EXPECT_TRUE(test::readFile(path) == bytes) << "left as it is";
}

}  // namespace
}  // namespace plm::model
