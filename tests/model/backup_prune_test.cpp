#include "model/backup_prune.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/text_codec.h"

namespace plm::model {
namespace {

TEST(BackupNameTest, OnlyNamesOfTheSchemeAreBackups) {
    struct Case {
        const char* fileName;
        bool backup;
        const char* stamp;
    };
    const Case cases[] = {
        {"QBX_20261211_093005.DAT", true, "20261211_093005"},
        {"QBX_20261211_093005_2.DAT", true, "20261211_093005_2"},
        {"QBX_20261211_093005_17.DAT", true, "20261211_093005_17"},
        {"LIMITS_20240229_235959.INI", true, "20240229_235959"},
        {"QBX.DAT", false, ""},
        {"QBX_20261211_093005.DAT.tmp", false, ""},
        {"QBX_20261211_093005_1.DAT", false, ""},
        {"QBX_20261211_093005_02.DAT", false, ""},
        {"QBX_20261211_093005_.DAT", false, ""},
        {"QBX_20261211-093005.DAT", false, ""},
        {"QBX_20230229_120000.DAT", false, ""},
        {"QBX_20261311_120000.DAT", false, ""},
        {"QBX_20261211_246000.DAT", false, ""},
        {"QBX_20261211_093005.INI", false, ""},
        {"LIMITS_20261211_093005.DAT", false, ""},
        {"qbx_20261211_093005.dat", false, ""},
        {".backup.123.0.tmp", false, ""},
    };
    for (const Case& c : cases) {
        const auto name = parseBackupName(c.fileName);
        ASSERT_EQ(name.has_value(), c.backup) << c.fileName;
        if (name) {
            EXPECT_EQ(name->stamp(), c.stamp);
            EXPECT_EQ(name->fileName(), c.fileName);
        }
    }
}

BackupEntry entry(const std::string& fileName, int64_t size = 1) {
    const auto name = parseBackupName(fileName);
    EXPECT_TRUE(name) << fileName;
    return {name.value_or(BackupName{}), size};
}

std::vector<std::string> removed(const std::vector<std::string>& names, const PruneRule& rule,
                                 const std::vector<int64_t>& sizes = {}) {
    std::vector<BackupEntry> entries;
    for (size_t i = 0; i < names.size(); ++i)
        entries.push_back(entry(names[i], i < sizes.size() ? sizes[i] : 1));
    return backupsToRemove(entries, CalendarDay{2026, 12, 11}, rule);
}

TEST(BackupPruneTest, KeepsTheLastThenTheNewestOfEachDayMonthAndYear) {
    const PruneRule rule{2, 3, 2, 0};
    const std::vector<std::string> names = {
        "QBX_20190101_000000.DAT",  // only one of 2019: kept for ever
        "QBX_20250301_100000.DAT",  // an older one of 2025
        "QBX_20250601_100000.DAT",  // the newest of 2025
        "QBX_20261031_100000.DAT",  // October is two months back: only its year counts
        "QBX_20261101_100000.DAT",  // not the newest of November
        "QBX_20261130_100000.DAT",  // the newest of November
        "QBX_20261208_100000.DAT",  // three days back: December has a newer one
        "QBX_20261210_080000.DAT",  // not the newest of the 10th
        "QBX_20261210_230000.DAT",  // the newest of the 10th
        "QBX_20261211_090000.DAT",  // not the newest of the older ones of today
        "QBX_20261211_100000.DAT",  // the newest of the older ones of today
        "QBX_20261211_110000.DAT",  // the last two
        "QBX_20261211_120000.DAT",
        "LIMITS_20261211_080000.INI",  // the limits file is ruled apart
        "LIMITS_20261211_070000.INI", "LIMITS_20261211_060000.INI", "LIMITS_20261211_050000.INI",
    };
    EXPECT_EQ(removed(names, rule),
              (std::vector<std::string>{"QBX_20250301_100000.DAT", "QBX_20261031_100000.DAT",
                                        "QBX_20261101_100000.DAT", "QBX_20261208_100000.DAT",
                                        "QBX_20261210_080000.DAT", "LIMITS_20261211_050000.INI",
                                        "QBX_20261211_090000.DAT"}));
}

TEST(BackupPruneTest, YearsOfDailyBackupsUnderTheDefaultRule) {
    // A backup every noon from 2024-01-01 to the fixed today, 2026-12-11.
    std::vector<BackupEntry> entries;
    for (int year = 2024; year <= 2026; ++year) {
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1; day <= 31; ++day) {
                const auto name = parseBackupName(
                    support::format("QBX_%04d%02d%02d_120000.DAT", year, month, day));
                if (name && !(year == 2026 && (month == 12 && day > 11)))
                    entries.push_back({*name, 1});
            }
        }
    }
    const std::vector<std::string> gone =
        backupsToRemove(entries, CalendarDay{2026, 12, 11}, PruneRule{20, 30, 12, 0});
    const std::set<std::string> goneSet(gone.begin(), gone.end());
    std::set<std::string> kept;
    for (const BackupEntry& e : entries) {
        if (!goneSet.count(e.name.fileName()))
            kept.insert(e.name.stamp().substr(0, 8));
    }
    std::set<std::string> expected;
    for (int day = 12; day <= 30; ++day)  // the last 20 (to Dec 11) and 30 days
        expected.insert(support::format("202611%02d", day));
    for (int day = 1; day <= 11; ++day)
        expected.insert(support::format("202612%02d", day));
    for (const char* monthEnd :
         {"20251231", "20260131", "20260228", "20260331", "20260430", "20260531", "20260630",
          "20260731", "20260831", "20260930", "20261031", "20241231"})
        expected.insert(monthEnd);
    EXPECT_EQ(kept, expected);
}

TEST(BackupPruneTest, SizeLimitRemovesTheOldestButNeverTheNewest) {
    const PruneRule rule{20, 30, 12, 8};
    const std::vector<std::string> names = {"QBX_20261209_100000.DAT", "QBX_20261210_100000.DAT",
                                            "QBX_20261211_100000.DAT",
                                            "LIMITS_20261201_100000.INI"};
    // 13 bytes over a limit of 8: the two oldest go, the newest of each kind stays.
    EXPECT_EQ(removed(names, rule, {4, 4, 4, 1}),
              (std::vector<std::string>{"QBX_20261209_100000.DAT", "QBX_20261210_100000.DAT"}));
    // One backup larger than the limit stays: it is the newest.
    EXPECT_TRUE(removed({"QBX_20261211_100000.DAT"}, rule, {50}).empty());
    // 0 is no limit.
    EXPECT_TRUE(removed(names, PruneRule{20, 30, 12, 0}, {400, 400, 400, 400}).empty());
}

TEST(BackupPruneTest, SequenceOrdersBackupsOfOneSecond) {
    const PruneRule rule{1, 0, 0, 0};
    // The year rule keeps the newest of the older ones: _2, and _3 is the last one.
    EXPECT_EQ(removed({"QBX_20261211_100000.DAT", "QBX_20261211_100000_2.DAT",
                       "QBX_20261211_100000_3.DAT"},
                      rule),
              (std::vector<std::string>{"QBX_20261211_100000.DAT"}));
}

}  // namespace
}  // namespace plm::model
