#include <gtest/gtest.h>

#include <cstdlib>
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

// plmtool analyze / trend / limits on a data file of hand-built records
// whose figures are known: three poles closing at 45.0, 45.9 and 45.4 ms
// (100 us), channel 1 bouncing for 0.5 ms.
namespace plm::cli {
namespace {

using test::FailingReporter;
namespace fs = std::filesystem;
using support::sj;

model::MeasurementRecord closing(int year, std::vector<std::vector<int64_t>> changes,
                                 int32_t measureType = 0) {
    model::MeasurementRecord r =
        test::buildRecord({3, 0, 601, std::move(changes), {}, measureType});
    r.testDateTime = test::dateOf(year, 6, 1);
    r.dataNo = year - 2000;
    return r;
}

model::MeasurementRecord ofBreaker(model::MeasurementRecord r, const std::string& maker,
                                   const std::string& type, const std::string& serial) {
    r.cond.mcMaker = maker;
    r.cond.mcType = type;
    r.cond.mcNum = serial;
    return r;
}

const std::string kNoLevels =
    "\"levels\":{\"close_min_ms\":null,\"close_max_ms\":null,\"open_min_ms\":null,"
    "\"open_max_ms\":null,\"pole_spread_max_ms\":null,\"bounce_max_ms\":null,"
    "\"pole_group\":null}";

class CliAnalysis : public ::testing::Test {
  protected:
    void SetUp() override {
        // Filed out of date order: the trend sorts them.
        model::CustomerTree tree;
        model::MeasurementName& name =
            model::findOrAddMeasurementName(tree, sj("東京"), sj("回路A"), sj("点1"));
        // Breaker S-1 of model VK-10 stood here, and stands in Osaka now.
        name.records.append(
            ofBreaker(closing(2025, {{451, 452, 456}, {460}, {455}}), sj("東芝"), "VK-10", "S-2"));
        name.records.append(
            ofBreaker(closing(2024, {{441}, {445}, {442}}), sj("東芝"), "VK-10", "S-1"));
        name.records.append(closing(2023, {{301}, {}, {302}}, 1));
        // A capture whose clock was wrong: no valid test date.
        model::MeasurementRecord undated = closing(2022, {{450}, {451}, {452}});
        undated.testDateTime = {};
        model::findOrAddMeasurementName(tree, sj("東京"), sj("回路A"), sj("日付なし"))
            .records.append(undated);
        // Names are taken as they are, the empty one included.
        model::findOrAddMeasurementName(tree, "", "B", "")
            .records.append(closing(2025, {{451}, {452}, {453}}));
        model::MeasurementName& osaka =
            model::findOrAddMeasurementName(tree, sj("大阪"), sj("回路B"), sj("点9"));
        osaka.records.append(
            ofBreaker(closing(2026, {{471}, {475}, {472}}), sj("東芝"), "vk-10", "s-1"));
        osaka.records.append(
            ofBreaker(closing(2024, {{441}, {445}, {442}}), sj("日立"), "VK-10", "S-1"));
        FailingReporter reporter;
        fs::create_directories(dir.file("home/DATA"));
        ASSERT_TRUE(tree.save(support::fromFsPath(dir.file("home/DATA/QBX.DAT")), reporter));
    }

    ToolRun run(const std::vector<std::string>& args) { return plmtool(dir, args); }

    test::TempDir dir;
};

TEST_F(CliAnalysis, AnalyzeGivesTheFiguresAndTurnsFailedOnceALimitIsBroken) {
    ToolRun r = run({"analyze", "東京", "回路A", "点1", "0", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string quiet = "\"verdict\":\"判定なし\",\"reason\":\"判定基準がありません\"";
    const std::string still = ",\"changes\":0,\"bounce_ms\":null,\"final_state\":\"OFF\"," + quiet;
    std::string expected =
        "{\"channels\":[{\"channel\":1,\"operating_ms\":45.0,\"changes\":3,\"bounce_ms\":0.5,"
        "\"final_state\":\"ON\"," +
        quiet +
        "},"
        "{\"channel\":2,\"operating_ms\":45.9,\"changes\":1,\"bounce_ms\":0.0,\"final_state\":"
        "\"ON\"," +
        quiet +
        "},"
        "{\"channel\":3,\"operating_ms\":45.4,\"changes\":1,\"bounce_ms\":0.0,\"final_state\":"
        "\"ON\"," +
        quiet + "}";
    for (int ch = 4; ch <= 8; ++ch)
        expected += ",{\"channel\":" + std::to_string(ch) + ",\"operating_ms\":null" + still + "}";
    expected += "],\"pole_spread_ms\":0.9," + quiet +
                ",\"limits\":{\"close_min_ms\":null,\"close_max_ms\":null,\"open_min_ms\":null,"
                "\"open_max_ms\":null,\"pole_spread_max_ms\":null,\"bounce_max_ms\":null,"
                "\"pole_group\":[1,2,3]}," +
                kNoLevels + "}\n";
    EXPECT_EQ(r.out, expected);

    r = run({"limits", "東京", "回路A", "--set", "close_max_ms=45.5", "--set", "pole_group=1,2,3"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"analyze", "東京", "回路A", "点1", "0"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("CH2: 動作時間 45.9 ms, 変化 1 回, バウンス 0.0 ms, 最終 ON, 不合格 "
                         "(動作時間 45.9 ms が上限 45.5 ms を超えています)"),
              std::string::npos)
        << r.out;
    EXPECT_NE(
        r.out.find("CH1: 動作時間 45.0 ms, 変化 3 回, バウンス 0.5 ms, 最終 ON, 合格 (基準内)"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("判定: 不合格 (CH2: 動作時間 45.9 ms が上限 45.5 ms を超えています)\n"),
              std::string::npos)
        << r.out;
}

TEST_F(CliAnalysis, TrendInDateOrderAsJsonAndCsvWithTheMarkedReference) {
    run({"limits", "東京", "回路A", "点1", "--set", "close_max_ms=45.5"});
    ToolRun r = run({"trend", "東京", "回路A", "点1", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string none = ",null,null,null,null,null]";
    EXPECT_EQ(r.out,
              "{\"measurements\":["
              "{\"index\":2,\"date\":\"2023/06/01 10:00\",\"measure_type\":\"遮断\","
              "\"operating_ms\":[30.0,null,30.1" +
                  none +
                  ",\"pole_spread_ms\":0.1,\"verdict\":\"判定なし\"},"
                  "{\"index\":1,\"date\":\"2024/06/01 10:00\",\"measure_type\":\"投入\","
                  "\"operating_ms\":[44.0,44.4,44.1" +
                  none +
                  ",\"pole_spread_ms\":0.4,\"verdict\":\"合格\"},"
                  "{\"index\":0,\"date\":\"2025/06/01 10:00\",\"measure_type\":\"投入\","
                  "\"operating_ms\":[45.0,45.9,45.4" +
                  none + ",\"pole_spread_ms\":0.9,\"verdict\":\"不合格\"}]}\n");

    // Marking the 2025 close as reference moves the differences of the closes.
    r = run({"trend", "東京", "回路A", "点1", "--reference", "0", "--csv", "trend.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string blanks = ",,,,,";
    EXPECT_EQ(test::readFile(dir.file("trend.csv")),
              "index,date,measure_type,ch1_ms,ch2_ms,ch3_ms,ch4_ms,ch5_ms,ch6_ms,ch7_ms,ch8_ms,"
              "pole_spread_ms,verdict,reference,ch1_delta_ms,ch2_delta_ms,ch3_delta_ms,"
              "ch4_delta_ms,ch5_delta_ms,ch6_delta_ms,ch7_delta_ms,ch8_delta_ms,"
              "pole_spread_delta_ms\r\n"
              "2,2023/06/01 10:00,遮断,30.0,,30.1" +
                  blanks + ",0.1,判定なし,0,0.0,,0.0" + blanks +
                  ",0.0\r\n"
                  "1,2024/06/01 10:00,投入,44.0,44.4,44.1" +
                  blanks + ",0.4,合格,0,-1.0,-1.5,-1.3" + blanks +
                  ",-0.5\r\n"
                  "0,2025/06/01 10:00,投入,45.0,45.9,45.4" +
                  blanks + ",0.9,不合格,1,0.0,0.0,0.0" + blanks + ",0.0\r\n");
    EXPECT_NE(support::toUtf8(test::readFile(dir.file("home/LIMITS.INI")))
                  .find("Reference=2025/06/01 10:00:00,25\r\n"),
              std::string::npos);
}

TEST_F(CliAnalysis, LimitsSetClearShowAndRefuse) {
    ToolRun r = run(
        {"limits", "東京", "回路A", "点1", "--set", "bounce_max_ms=1", "--set", "close_min_ms=40"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"limits", "東京", "回路A", "--set", "close_min_ms=41", "--set", "close_max_ms=50"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"limits", "東京", "回路A", "点1", "--set", "bounce_max_ms=", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(
        r.out,
        "{\"limits\":{\"close_min_ms\":40.0,\"close_max_ms\":50.0,\"open_min_ms\":null,"
        "\"open_max_ms\":null,\"pole_spread_max_ms\":null,\"bounce_max_ms\":null,"
        "\"pole_group\":null},"
        "\"circuit_limits\":{\"close_min_ms\":41.0,\"close_max_ms\":50.0,\"open_min_ms\":null,"
        "\"open_max_ms\":null,\"pole_spread_max_ms\":null,\"bounce_max_ms\":null,"
        "\"pole_group\":null},"
        "\"name_limits\":{\"close_min_ms\":40.0,\"close_max_ms\":null,\"open_min_ms\":null,"
        "\"open_max_ms\":null,\"pole_spread_max_ms\":null,\"bounce_max_ms\":null,"
        "\"pole_group\":null},"
        "\"levels\":{\"close_min_ms\":\"name\",\"close_max_ms\":\"circuit\",\"open_min_ms\":null,"
        "\"open_max_ms\":null,\"pole_spread_max_ms\":null,\"bounce_max_ms\":null,"
        "\"pole_group\":null},"
        "\"model\":{\"maker\":\"東芝\",\"model\":\"VK-10\"},"
        "\"model_limits\":{\"close_min_ms\":null,\"close_max_ms\":null,\"open_min_ms\":null,"
        "\"open_max_ms\":null,\"pole_spread_max_ms\":null,\"bounce_max_ms\":null,"
        "\"pole_group\":null},\"interval_months\":null,\"interval_level\":null}\n");
    r = run({"limits", "東京", "回路A", "点1"});
    EXPECT_NE(r.out.find("close_min_ms=40.0 (測定データ名称)\nclose_max_ms=50.0 (試験回路)\n"),
              std::string::npos)
        << r.out;

    const std::string before = test::readFile(dir.file("home/LIMITS.INI"));
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"limits", "東京", "回路A", "--set", "close_fast=1"},
         1,
         "判定基準の項目 \"close_fast\" はありません"},
        {{"limits", "東京", "回路A", "--set", "close_max_ms=abc"},
         1,
         "close_max_ms の値 \"abc\" が正しくありません"},
        {{"limits", "東京", "回路A", "点1", "--set", "close_max_ms=30"},
         1,
         "close_min_ms が close_max_ms より大きくなっています"},
        {{"limits", "東京", "回路B", "--set", "close_max_ms=30"}, 1, "no such test circuit"},
        {{"limits", "東京", "回路A", "--set", "close_max_ms"}, 2, "KEY=VALUE"},
        {{"limits", "東京"}, 2, "usage"},
        {{"analyze", "東京", "回路A", "点1", "3"}, 1, "no record 3"},
        {{"analyze", "東京", "回路A", "点1"}, 2, "usage"},
        {{"trend", "東京", "回路A", "点2"}, 1, "no such measurement name"},
        {{"trend", "東京", "回路A", "点1", "--reference", "5"}, 1, "no record 5"},
    };
    for (const Case& c : cases) {
        r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.back();
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    EXPECT_EQ(test::readFile(dir.file("home/LIMITS.INI")), before);

    // A damaged section (the test circuit's, the last one written) stops
    // every command that needs it, and stays as it is.
    const std::string damaged = before + "open_max_ms=fast\n";
    test::writeFile(dir.file("home/LIMITS.INI"), damaged);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"analyze", "東京", "回路A", "点1", "0"},
             {"trend", "東京", "回路A", "点1"},
             {"limits", "東京", "回路A", "--set", "close_max_ms=60"},
             {"limits-export", "東京", "tokyo.ini"},
             {"report", "東京", "回路A", "summary.pdf", "--summary"},
             {"report", "東京", "回路A", "点1", "0", "judged.png", "--analysis"}}) {
        r = run(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_NE(r.err.find("判定基準ファイルが正しくありません"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("行目: open_max_ms の値 \"fast\" が正しくありません"),
                  std::string::npos)
            << r.err;
    }
    EXPECT_EQ(test::readFile(dir.file("home/LIMITS.INI")), damaged);

    // Every other customer goes on, and a change of theirs keeps the damaged
    // section as it was.
    r = run({"limits", "大阪", "回路B", "--set", "close_max_ms=44.2"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"analyze", "大阪", "回路B", "点9", "0"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("判定: 不合格"), std::string::npos) << r.out;
    r = run({"report", "大阪", "回路B", "summary.pdf", "--summary"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = run({"report", "大阪", "回路B", "点9", "0", "judged.png", "--analysis"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string after = test::readFile(dir.file("home/LIMITS.INI"));
    EXPECT_NE(after.find(damaged.substr(damaged.rfind("[Limits]"))), std::string::npos) << after;
    EXPECT_EQ(run({"analyze", "東京", "回路A", "点1", "0"}).status, 1);
}

// What the program writes into the limits file, it reads back; what it could
// not read back it refuses before writing.
TEST_F(CliAnalysis, OddTargetsCarryLimitsAndAnUndatedMeasurementIsNoReference) {
    ToolRun r = run({"limits", "", "B", "--set", "close_max_ms=1"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"limits", "", "B", "", "--set", "close_max_ms=45.1"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"trend", "", "B", "", "--reference", "0"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"analyze", "", "B", "", "0", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"verdict\":\"不合格\",\"reason\":\"CH3: 動作時間 45.2 ms"),
              std::string::npos)
        << r.out;
    r = run({"limits", "", "B", "--json"});
    EXPECT_NE(r.out.find("{\"limits\":{\"close_min_ms\":null,\"close_max_ms\":1.0,"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"name_limits\":null"), std::string::npos) << r.out;
    // The other customers are not held up by the empty one.
    r = run({"analyze", "東京", "回路A", "点1", "0"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = run({"report", "東京", "回路A", "summary.pdf", "--summary"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string written = test::readFile(dir.file("home/LIMITS.INI"));
    EXPECT_NE(written.find("\r\nCustomer=\"\"\r\nCircuit=B\r\nName=\"\"\r\nclose_max_ms=45.1\r\n"
                           "Reference=2025/06/01 10:00:00,25\r\n"),
              std::string::npos)
        << written;

    r = run({"trend", "東京", "回路A", "日付なし", "--reference", "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("試験日時が正しくない測定データは基準にできません"), std::string::npos)
        << r.err;
    EXPECT_EQ(test::readFile(dir.file("home/LIMITS.INI")), written);
    EXPECT_EQ(run({"trend", "東京", "回路A", "日付なし"}).status, 0);
}

TEST_F(CliAnalysis, ReportWithTheAnalysisAddsTheJudgementPage) {
    ToolRun r = run({"report", "東京", "回路A", "点1", "0", "page.png", "--analysis"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir.file("page.png")));
    EXPECT_TRUE(fs::exists(dir.file("page-2.png")));
    r = run({"report", "東京", "回路A", "点1", "0", "plain.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(dir.file("plain-2.png")));
    // The judgement page belongs to one measurement, not to a batch.
    r = run({"report", "東京", "回路A", "batch.pdf", "--analysis"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_FALSE(fs::exists(dir.file("batch.pdf")));
    // The first page is the same with or without the analysis.
    EXPECT_EQ(test::readFile(dir.file("page.png")), test::readFile(dir.file("plain.png")));

    test::writeFile(dir.file("home/LIMITS.INI"), "close_max_ms=1\n");
    r = run({"report", "東京", "回路A", "点1", "0", "bad.pdf", "--analysis"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("判定基準ファイルが正しくありません"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.file("bad.pdf")));
}

TEST_F(CliAnalysis, LimitsTravelAsAFileOfTheirOwn) {
    run({"limits", "東京", "回路A", "--set", "close_max_ms=45.5"});
    run({"trend", "東京", "回路A", "点1", "--reference", "1"});
    ToolRun r = run({"limits-export", "東京", "tokyo.ini"});
    ASSERT_EQ(r.status, 0) << r.err;

    test::TempDir other;
    fs::create_directories(other.file("home"));
    test::writeFile(other.file("home/LIMITS.INI"),
                    sj("[Limits]\r\nCustomer=東京\r\nCircuit=回路A\r\nclose_max_ms=99\r\n"
                       "[Limits]\r\nCustomer=大阪\r\nCircuit=回路B\r\nopen_max_ms=30\r\n"));
    r = plmtool(other, {"limits-import", (dir.path() / "tokyo.ini").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "東京 / 回路A\n東京 / 回路A / 点1\n");
    const std::string merged = support::toUtf8(test::readFile(other.file("home/LIMITS.INI")));
    EXPECT_NE(merged.find("close_max_ms=45.5"), std::string::npos) << merged;
    EXPECT_EQ(merged.find("close_max_ms=99"), std::string::npos) << merged;
    EXPECT_NE(merged.find("open_max_ms=30.0"), std::string::npos) << merged;
    EXPECT_NE(merged.find("Reference=2024/06/01 10:00:00,24"), std::string::npos) << merged;

    // A damaged file is refused and changes nothing.
    test::writeFile(dir.file("bad.ini"), "[Limits]\nCustomer=A\nclose=1\n");
    r = plmtool(other, {"limits-import", (dir.path() / "bad.ini").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("3 行目"), std::string::npos) << r.err;
    EXPECT_EQ(support::toUtf8(test::readFile(other.file("home/LIMITS.INI"))), merged);
    EXPECT_EQ(run({"limits-export", "大阪", "osaka.ini"}).status, 1);
}

TEST_F(CliAnalysis, ADamagedDataFileIsReportedAndLeftInPlace) {
    const std::string damaged = "not a data file";
    test::writeFile(dir.file("home/DATA/QBX.DAT"), damaged);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"analyze", "東京", "回路A", "点1", "0"},
             {"trend", "東京", "回路A", "点1"},
             {"limits", "東京", "回路A", "--set", "close_max_ms=30"}}) {
        EXPECT_EQ(run(args).status, 1) << args[0];
    }
    EXPECT_EQ(test::readFile(dir.file("home/DATA/QBX.DAT")), damaged);
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.file("home/DATA")))
        ++files;
    EXPECT_EQ(files, 1u) << "nothing moved aside";
}

// Two programs setting limits at the same moment both keep their value.
TEST_F(CliAnalysis, ConcurrentSettingsAreBothKept) {
    std::string command = "cd '" + dir.path().string() + "'";
    const char* keys[] = {"close_min_ms=1", "close_max_ms=99", "open_min_ms=2",
                          "open_max_ms=98", "bounce_max_ms=3", "pole_spread_max_ms=4"};
    command += " && (";
    // A test circuit's and a model's entries, each key by a program of its own.
    for (const char* key : keys) {
        command += std::string("'" PLMTOOL_PATH "' --home home limits '東京' '回路A' --set ") +
                   key + " >/dev/null & ";
        command += std::string("'" PLMTOOL_PATH "' --home home limits --model M X --set ") + key +
                   " >/dev/null & ";
    }
    command += "wait)";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string all =
        "{\"close_min_ms\":1.0,\"close_max_ms\":99.0,\"open_min_ms\":2.0,"
        "\"open_max_ms\":98.0,\"pole_spread_max_ms\":4.0,\"bounce_max_ms\":3.0,";
    ToolRun r = run({"limits", "東京", "回路A", "--json"});
    EXPECT_EQ(r.out.find("{\"limits\":" + all), 0u) << r.out;
    r = run({"limits", "--model", "m", "x", "--json"});
    EXPECT_EQ(r.out.find("{\"model\":{\"maker\":\"m\",\"model\":\"x\"},\"limits\":" + all), 0u)
        << r.out;
    const std::string file = test::readFile(dir.file("home/LIMITS.INI"));
    size_t sections = 0;
    for (size_t at = file.find("[Limits]"); at != std::string::npos;
         at = file.find("[Limits]", at + 1))
        ++sections;
    EXPECT_EQ(sections, 2u) << file;
}

// A model's limits judge every measurement of a breaker of that model, under
// the test circuit's and the name's, key by key, and say where each came from.
TEST_F(CliAnalysis, ModelLimitsJudgeEveryCircuitOfTheModel) {
    // Entered before any circuit has limits; the model is in no customer.
    ToolRun r = run({"limits", "--model", "東芝", "VK-10", "--set", "close_max_ms=46", "--set",
                     "bounce_max_ms=0.4"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("close_max_ms=46.0 (型式)\n"), std::string::npos) << r.out;
    // Osaka's breaker is the same model as names compare; its 47.5 ms breaks it.
    r = run({"analyze", "大阪", "回路B", "点9", "0", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"verdict\":\"不合格\",\"reason\":\"CH1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"levels\":{\"close_min_ms\":null,\"close_max_ms\":\"model\","),
              std::string::npos)
        << r.out;

    // The circuit overrides one key, the name another; the bounce stays the model's.
    ASSERT_EQ(run({"limits", "東京", "回路A", "--set", "close_max_ms=50"}).status, 0);
    ASSERT_EQ(run({"limits", "東京", "回路A", "点1", "--set", "close_min_ms=40"}).status, 0);
    r = run({"analyze", "東京", "回路A", "点1", "0", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"levels\":{\"close_min_ms\":\"name\",\"close_max_ms\":\"circuit\","
                         "\"open_min_ms\":null,\"open_max_ms\":null,\"pole_spread_max_ms\":null,"
                         "\"bounce_max_ms\":\"model\",\"pole_group\":null}"),
              std::string::npos)
        << r.out;
    r = run({"limits", "東京", "回路A", "点1"});
    EXPECT_NE(r.out.find("close_min_ms=40.0 (測定データ名称)\nclose_max_ms=50.0 (試験回路)\n"
                         "open_min_ms=\nopen_max_ms=\npole_spread_max_ms=\n"
                         "bounce_max_ms=0.4 (型式)\n"),
              std::string::npos)
        << r.out;
    // The trend judges each measurement by its own breaker's model: the 2024
    // one (CH1 no bounce) passes, 2025's 0.5 ms bounce fails.
    r = run({"trend", "東京", "回路A", "点1", "--json"});
    EXPECT_NE(r.out.find("\"pole_spread_ms\":0.4,\"verdict\":\"合格\""), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"pole_spread_ms\":0.9,\"verdict\":\"不合格\""), std::string::npos)
        << r.out;

    const std::string before = test::readFile(dir.file("home/LIMITS.INI"));
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"limits", "--model", "東芝"},
                                               {"limits", "--model", "東芝", ""},
                                               {"limits", "--model", "東芝", "VK-10", "X"}}) {
        r = run(args);
        EXPECT_EQ(r.status, 2) << r.err;
    }
    r = run({"limits", "--model", "東芝", "VK-10", "--set", "close_min_ms=47"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("close_min_ms が close_max_ms より大きくなっています"), std::string::npos)
        << r.err;
    EXPECT_EQ(test::readFile(dir.file("home/LIMITS.INI")), before);

    // A damaged model section stops that model's judgements only.
    test::writeFile(dir.file("home/LIMITS.INI"),
                    before + sj("[Limits]\r\nMaker=日立\r\nModel=VK-10\r\nopen_max_ms=x\r\n"));
    EXPECT_EQ(run({"analyze", "東京", "回路A", "点1", "0"}).status, 0);
    r = run({"analyze", "大阪", "回路B", "点9", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("行目: open_max_ms の値 \"x\" が正しくありません"), std::string::npos)
        << r.err;
}

TEST_F(CliAnalysis, AModelLibraryTravelsAsAFile) {
    ASSERT_EQ(run({"limits", "--model", "東芝", "VK-10", "--set", "open_max_ms=35"}).status, 0);
    ASSERT_EQ(run({"limits", "東京", "回路A", "--set", "close_max_ms=45.5"}).status, 0);
    ToolRun r = run({"limits-export", "--models", "models.ini"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "exported the limits of 1 breaker model(s)\n");
    const std::string library = support::toUtf8(test::readFile(dir.file("models.ini")));
    EXPECT_NE(library.find("Maker=東芝\r\nModel=VK-10\r\nopen_max_ms=35.0\r\n"), std::string::npos)
        << library;
    EXPECT_EQ(library.find("Customer"), std::string::npos) << library;
    // A customer's file carries no model.
    ASSERT_EQ(run({"limits-export", "東京", "tokyo.ini"}).status, 0);
    EXPECT_EQ(test::readFile(dir.file("tokyo.ini")).find("Model"), std::string::npos);

    test::TempDir other;
    fs::create_directories(other.file("home"));
    r = plmtool(other, {"limits-import", (dir.path() / "models.ini").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "型式 東芝 / VK-10\n");
    r = plmtool(other, {"limits", "--model", "東芝", "vk-10"});
    EXPECT_NE(r.out.find("open_max_ms=35.0 (型式)"), std::string::npos) << r.out;
    EXPECT_EQ(plmtool(other, {"limits-export", "--models", "again.ini"}).status, 0);
    EXPECT_EQ(plmtool(other, {"limits-export", "--models"}).status, 2);
    EXPECT_EQ(run({"limits-export", "--models", "models.ini"}).status, 1) << "taken";
}

// Breaker S-1 stood in Tokyo in 2024 and in Osaka in 2026; an Hitachi
// breaker with the same serial is another breaker.
TEST_F(CliAnalysis, ABreakerMovedBetweenCustomersShowsOneHistory) {
    const std::string kFiveNulls = ",null,null,null,null,null";  // channels 4..8
    ASSERT_EQ(run({"limits", "大阪", "回路B", "--set", "close_max_ms=47"}).status, 0);
    ToolRun r = run({"breaker", "東芝", "VK-10", "S-1", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"maker\":\"東芝\",\"model\":\"VK-10\",\"serial\":\"S-1\",\"measurements\":["
              "{\"customer\":\"東京\",\"circuit\":\"回路A\",\"name\":\"点1\",\"index\":1,"
              "\"date\":\"2024/06/01 10:00\",\"measure_type\":\"投入\","
              "\"operating_ms\":[44.0,44.4,44.1" +
                  kFiveNulls +
                  "],\"pole_spread_ms\":0.4,\"verdict\":\"判定なし\"},"
                  "{\"customer\":\"大阪\",\"circuit\":\"回路B\",\"name\":\"点9\",\"index\":0,"
                  "\"date\":\"2026/06/01 10:00\",\"measure_type\":\"投入\","
                  "\"operating_ms\":[47.0,47.4,47.1" +
                  kFiveNulls + "],\"pole_spread_ms\":0.4,\"verdict\":\"不合格\"}]}\n");
    r = run({"breaker", "東芝", "VK-10", "S-1"});
    EXPECT_EQ(r.out.find("2024/06/01 10:00 東京 / 回路A / 点1 1 投入 CH1=44.0"), 0u) << r.out;
    r = run({"breaker", "東芝", "VK-10", "S-1", "--csv", "s1.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(
        test::readFile(dir.file("s1.csv")),
        "customer,circuit,name,index,date,measure_type,ch1_ms,ch2_ms,ch3_ms,ch4_ms,ch5_ms,"
        "ch6_ms,ch7_ms,ch8_ms,pole_spread_ms,verdict\r\n"
        "\"東京\",\"回路A\",\"点1\",1,2024/06/01 10:00,投入,44.0,44.4,44.1,,,,,,0.4,判定なし\r\n"
        "\"大阪\",\"回路B\",\"点9\",0,2026/06/01 10:00,投入,47.0,47.4,47.1,,,,,,0.4,不合格\r\n");
    r = run({"breaker", "日立", "VK-10", "S-1", "--json"});
    EXPECT_NE(
        r.out.find("\"customer\":\"大阪\",\"circuit\":\"回路B\",\"name\":\"点9\",\"index\":1"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("東京"), std::string::npos) << r.out;
    r = run({"breaker", "東芝", "VK-10", "S-9", "--json"});
    EXPECT_EQ(r.out,
              "{\"maker\":\"東芝\",\"model\":\"VK-10\",\"serial\":\"S-9\",\"measurements\":[]}\n");
    EXPECT_EQ(run({"breaker", "", "", ""}).status, 2) << "no serial, no breaker";
    EXPECT_EQ(run({"breaker", "東芝", "VK-10"}).status, 2);
    EXPECT_EQ(run({"breaker", "東芝", "VK-10", "S-1", "--csv", "s1.csv"}).status, 1) << "taken";
}

}  // namespace
}  // namespace plm::cli
