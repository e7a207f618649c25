#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/figures.h"
#include "analysis/fleet.h"
#include "analysis/limits_file.h"
#include "record_fixture.h"
#include "support/text_codec.h"

// The fleet table of a small tree whose figures are worked out by hand.
// Times are 100 us steps: a change at sample k is k-1 tenths of a ms.
namespace plm::analysis {
namespace {

using support::sj;

model::MeasurementRecord breaker(const char* maker, const char* model, const char* serial, int year,
                                 int hour, std::vector<std::vector<int64_t>> changes,
                                 int32_t measureType = 0) {
    model::MeasurementRecord r =
        test::buildRecord({0, 0, 601, std::move(changes), {}, measureType});
    r.cond.mcMaker = sj(maker);
    r.cond.mcType = sj(model);
    r.cond.mcNum = sj(serial);
    r.testDateTime = test::dateAt(year, 6, 1, hour);
    return r;
}

std::string text(const std::optional<Spread>& s) {
    if (!s)
        return "-";
    return msFromMicros(s->min) + "/" + msFromMicros(s->median) + "/" + msFromMicros(s->max);
}

std::vector<std::string> texts(const std::vector<std::optional<Spread>>& poles) {
    std::vector<std::string> out;
    for (const auto& p : poles)
        out.push_back(text(p));
    return out;
}

TEST(FleetTally, NewestCloseAndTripOfEachBreakerWhereverItIsFiled) {
    const std::string tokyo = sj("東京"), osaka = sj("大阪");
    // 回路A's limit would fail S1's old close; 回路B's fails S2 (45.0 ms on pole 3);
    // the model GCB's fails Z9's trip (20.0 ms), filed where nothing else sets limits.
    const LimitsBook book = LimitsBook::parse(
        "[Limits]\nCustomer=" + tokyo +
            "\nCircuit=A\nclose_max_ms=41.5\n[Limits]\nCustomer=" + tokyo +
            "\nCircuit=B\nclose_max_ms=44.8\n[Limits]\nMaker=X\nModel=GCB\nopen_max_ms=19.5\n",
        "LIMITS.INI");
    FleetTally tally(book);
    // S1 stood at 回路A, then moved to 大阪: its newest close is the 2025 one.
    tally.add(tokyo, "A", "P1", breaker("M", "VCB-1", "S1", 2023, 10, {{401}, {411}, {421}}));
    tally.add(tokyo, "A", "P1", breaker("M", "VCB-1", "S1", 2024, 10, {{301}, {306}, {303}}, 1));
    tally.add(tokyo, "B", "P2", breaker("M", "VCB-1", "S2", 2024, 10, {{441}, {446}, {451}}));
    tally.add(tokyo, "B", "P2", breaker("M", "VCB-1", "S2", 2024, 11, {{311}, {312}, {318}}, 1));
    tally.add(tokyo, "B", "P2", breaker("M", "VCB-1", "", 2024, 12, {{101}, {101}, {101}}));
    tally.add(osaka, "C", "P3", breaker("M", "VCB-1", " S1 ", 2025, 10, {{451}, {461}, {471}}));
    // Maker and model fold as names do.
    tally.add(osaka, "C", "P3", breaker("m", "vcb-1", "S3", 2024, 10, {{481}, {491}, {486}}));
    tally.add(osaka, "C", "P4", breaker("X", "GCB", "Z9", 2024, 10, {{201}, {}, {}}, 1));

    const std::vector<FleetModel> models = tally.models();
    ASSERT_EQ(models.size(), 2u);
    const FleetModel& vcb = models[0];
    EXPECT_EQ(vcb.maker + " " + vcb.model, "M VCB-1");
    EXPECT_EQ(vcb.breakers, 3);
    EXPECT_EQ(vcb.measurements, 6);
    EXPECT_EQ(vcb.failing, 1);
    // Closes of S1 (2025), S2 and S3; trips of S1 and S2, whose medians are means.
    EXPECT_EQ(texts(vcb.closeUs),
              (std::vector<std::string>{"44.0/45.0/48.0", "44.5/46.0/49.0", "45.0/47.0/48.5"}));
    EXPECT_EQ(text(vcb.closeSpreadUs), "1.0/1.0/2.0");
    EXPECT_EQ(texts(vcb.openUs),
              (std::vector<std::string>{"30.0/30.5/31.0", "30.5/30.8/31.1", "30.2/30.95/31.7"}));
    EXPECT_EQ(text(vcb.openSpreadUs), "0.5/0.6/0.7");

    // A pole that never moves has no time; with one pole moving there is no spread.
    const FleetModel& gcb = models[1];
    EXPECT_EQ(gcb.maker + " " + gcb.model + " " + std::to_string(gcb.breakers) + " " +
                  std::to_string(gcb.measurements),
              "X GCB 1 1");
    EXPECT_EQ(gcb.failing, 1) << "judged by the limits of its model";
    EXPECT_EQ(texts(gcb.openUs), (std::vector<std::string>{"20.0/20.0/20.0", "-", "-"}));
    EXPECT_FALSE(gcb.openSpreadUs);
    EXPECT_TRUE(gcb.closeUs.empty());

    const std::string csv = fleetCsv(models);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "maker,model,breakers,measurements,failing,close_pole1_min_ms,close_pole1_median_ms,"
              "close_pole1_max_ms,close_pole2_min_ms,close_pole2_median_ms,close_pole2_max_ms,"
              "close_pole3_min_ms,close_pole3_median_ms,close_pole3_max_ms,close_spread_min_ms,"
              "close_spread_median_ms,close_spread_max_ms,open_pole1_min_ms,open_pole1_median_ms,"
              "open_pole1_max_ms,open_pole2_min_ms,open_pole2_median_ms,open_pole2_max_ms,"
              "open_pole3_min_ms,open_pole3_median_ms,open_pole3_max_ms,open_spread_min_ms,"
              "open_spread_median_ms,open_spread_max_ms");
    EXPECT_NE(csv.find("\r\nX,GCB,1,1,1,,,,,,,,,,,,,20.0,20.0,20.0,,,,,,,,,\r\n"),
              std::string::npos)
        << csv;
}

}  // namespace
}  // namespace plm::analysis
