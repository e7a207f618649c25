#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../analysis/record_fixture.h"
#include "cli/tool_run.h"
#include "common/fixtures.h"
#include "common/temp_dir.h"
#include "model/customer_tree.h"
#include "support/paths.h"
#include "support/text_codec.h"

// plmtool fleet / due on a small data file: breaker S1 tested 2025/01/31
// under 東京 / 回路A / 点1 (whose circuit is tested every 12 months), S2
// without a valid date under 大阪 (the default interval of 6 months).
namespace plm::cli {
namespace {

namespace fs = std::filesystem;
using support::sj;

model::MeasurementRecord closing(const char* serial, std::vector<std::vector<int64_t>> changes) {
    model::MeasurementRecord r = test::buildRecord({3, 0, 601, std::move(changes)});
    r.cond.mcMaker = sj("M電機");
    r.cond.mcType = "VCB-1";
    r.cond.mcNum = serial;
    return r;
}

class CliAssets : public ::testing::Test {
  protected:
    void SetUp() override {
        model::CustomerTree tree;
        model::MeasurementRecord s1 = closing("S1", {{451}, {461}, {456}});
        s1.testDateTime = test::dateOf(2025, 1, 31);
        model::findOrAddMeasurementName(tree, sj("東京"), sj("回路A"), sj("点1"))
            .records.append(s1);
        model::MeasurementRecord later = closing("", {{451}, {461}, {456}});
        later.testDateTime = test::dateOf(2025, 6, 1);
        model::findOrAddMeasurementName(tree, sj("東京"), sj("回路A"), sj("点2"))
            .records.append(later);
        model::findOrAddMeasurementName(tree, sj("大阪"), sj("回路B"), sj("点3"))
            .records.append(closing("S2", {{441}, {446}, {451}}));
        test::FailingReporter reporter;
        fs::create_directories(dir.file("home/DATA"));
        ASSERT_TRUE(tree.save(support::fromFsPath(dir.file("home/DATA/QBX.DAT")), reporter));
        test::writeFile(dir.file("home/PLMView.INI"), "[DefCnd]\r\nIntervalMonths=6\r\n");
        const ToolRun set = run({"limits", "東京", "回路A", "--set", "interval_months=12"});
        ASSERT_EQ(set.status, 0) << set.err;
        EXPECT_NE(set.out.find("interval_months=12 (試験回路)\n"), std::string::npos) << set.out;
        const ToolRun name = run({"limits", "東京", "回路A", "点2", "--json"});
        ASSERT_EQ(name.status, 0) << name.err;
        EXPECT_NE(name.out.find("\"interval_months\":12,\"interval_level\":\"circuit\"}"),
                  std::string::npos)
            << "a name without its own interval holds its circuit's: " << name.out;
    }

    ToolRun run(const std::vector<std::string>& args) { return plmtool(dir, args); }

    test::TempDir dir;
};

TEST_F(CliAssets, DueListsTheUndatedNameFirstThenByDueDay) {
    ToolRun r = run({"due", "--date", "2026/01/15"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "試験日時なし 大阪 / 回路B / 点3: 試験日時の正しい測定データがありません\n"
              "期限間近 東京 / 回路A / 点1: 前回 2025/01/31、期限 2026/01/31、あと 16 日\n");

    r = run({"due", "--date", "2026/02/10", "--within", "0", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"today\":\"2026/02/10\",\"within_days\":0,\"names\":["
              "{\"customer\":\"大阪\",\"circuit\":\"回路B\",\"name\":\"点3\",\"last_test\":null,"
              "\"due\":null,\"days_overdue\":null,\"interval_months\":6,\"state\":\"no_date\"},"
              "{\"customer\":\"東京\",\"circuit\":\"回路A\",\"name\":\"点1\","
              "\"last_test\":\"2025/01/31\",\"due\":\"2026/01/31\",\"days_overdue\":10,"
              "\"interval_months\":12,\"state\":\"overdue\"}]}\n");

    // A shorter look ahead leaves the name due in 16 days out.
    r = run({"due", "--date", "2026/01/15", "--within", "15", "--csv", "due.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::readFile(dir.file("due.csv")),
              "customer,circuit,name,last_test,due,days_overdue,interval_months,state\r\n"
              "大阪,回路B,点3,,,,6,試験日時なし\r\n");
    r = run({"due", "--csv", "due.csv"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "指定のファイルは既に存在しています\n" + dir.file("due.csv") + "\n");

    for (const char* bad : {"-1", "soon", "36501"})
        EXPECT_EQ(run({"due", "--within", bad}).status, 2) << bad;
    EXPECT_EQ(run({"due", "--date", "2026/02/30"}).status, 2);
}

TEST_F(CliAssets, FleetGivesEachModelFromTheNewestMeasurementOfEachBreaker) {
    ToolRun r = run({"fleet", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Poles 45.0/44.0, 46.0/44.5, 45.5/45.0 ms: the medians are the means.
    EXPECT_EQ(r.out,
              "{\"models\":[{\"maker\":\"M電機\",\"model\":\"VCB-1\",\"breakers\":2,"
              "\"measurements\":2,\"failing\":0,\"close\":{\"poles\":["
              "{\"min_ms\":44.0,\"median_ms\":44.5,\"max_ms\":45.0},"
              "{\"min_ms\":44.5,\"median_ms\":45.25,\"max_ms\":46.0},"
              "{\"min_ms\":45.0,\"median_ms\":45.25,\"max_ms\":45.5}],"
              "\"pole_spread\":{\"min_ms\":1.0,\"median_ms\":1.0,\"max_ms\":1.0}},"
              "\"open\":{\"poles\":[],\"pole_spread\":null}}]}\n");

    ASSERT_EQ(run({"limits", "大阪", "回路B", "--set", "close_max_ms=44.8"}).status, 0);
    r = run({"fleet"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "M電機 / VCB-1: 遮断器 2 台、測定データ 2 件、不合格 1 台\n"
              "  投入 極1: 最小 44.0 / 中央値 44.5 / 最大 45.0 ms\n"
              "  投入 極2: 最小 44.5 / 中央値 45.25 / 最大 46.0 ms\n"
              "  投入 極3: 最小 45.0 / 中央値 45.25 / 最大 45.5 ms\n"
              "  投入 極間差: 最小 1.0 / 中央値 1.0 / 最大 1.0 ms\n");
}

}  // namespace
}  // namespace plm::cli
