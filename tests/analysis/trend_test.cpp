#include <gtest/gtest.h>

#include "analysis/trend.h"
#include "record_fixture.h"

namespace plm::analysis {
namespace {

using test::buildRecord;
using test::dateOf;

model::MeasurementRecord dated(support::DateTimeValue date, int dataNo,
                               std::vector<std::vector<int64_t>> changes) {
    model::MeasurementRecord r = buildRecord({0, 1, 101, std::move(changes)});
    r.testDateTime = date;
    r.dataNo = dataNo;
    return r;
}

TEST(Trend, EntriesInDateOrderWithDifferencesToTheReference) {
    model::RecordList records;
    // Listed out of date order, as a user may have moved them.
    records.append(dated(dateOf(2025, 6, 1), 1, {{46}, {47}, {}}));
    records.append(dated(dateOf(2023, 6, 1), 2, {{41}, {42}, {44}}));
    records.append(dated(dateOf(2024, 6, 1), 3, {{43}, {44}, {47}}));
    Limits limits;
    setLimit(limits, "close_max_ms", "45");

    Trend trend = computeTrend(records, limits, std::nullopt);
    ASSERT_EQ(trend.entries.size(), 3u);
    EXPECT_EQ(trend.entries[0].index, 1);
    EXPECT_EQ(trend.entries[1].index, 2);
    EXPECT_EQ(trend.entries[2].index, 0);
    EXPECT_EQ(trend.reference, 0);
    EXPECT_EQ(trend.channels, 3);
    EXPECT_EQ(trendDateText(trend.entries[0]), "2023/06/01 10:00");
    EXPECT_EQ(trend.entries[0].operatingUs,
              (std::vector<std::optional<int64_t>>{40000, 41000, 43000}));
    EXPECT_EQ(trend.entries[0].verdict, Verdict::Pass);
    EXPECT_EQ(trend.entries[1].verdict, Verdict::Fail);  // 46 ms on channel 3
    EXPECT_EQ(trend.entries[2].verdict, Verdict::Fail);  // channel 3 never moved
    EXPECT_EQ(trend.operatingDelta(1, 0), 2000);
    EXPECT_EQ(trend.operatingDelta(2, 2), std::nullopt);
    EXPECT_EQ(trend.spreadDelta(1), 1000);
    EXPECT_EQ(trend.spreadDelta(2), -2000);

    // The 2024 measurement marked as reference; a mark of a deleted one falls back.
    trend = computeTrend(records, limits, markOf(dateOf(2024, 6, 1), 3));
    EXPECT_EQ(trend.reference, 1);
    EXPECT_EQ(trend.operatingDelta(0, 0), -2000);
    EXPECT_EQ(computeTrend(records, limits, markOf(dateOf(2024, 6, 1), 9)).reference, 0);
}

TEST(Trend, ATripIsComparedWithTheFirstTripNotWithAClose) {
    model::RecordList records;
    records.append(dated(test::dateOf(2023, 6, 1), 1, {{41}, {42}, {44}}));
    model::MeasurementRecord trip = dated(test::dateOf(2023, 6, 2), 2, {{21}, {22}, {23}});
    trip.measureType = 1;
    records.append(trip);
    trip.testDateTime = test::dateOf(2024, 6, 2);
    trip.contacts = buildRecord({0, 1, 101, {{24}, {22}, {23}}}).contacts;
    records.append(trip);
    const Trend trend = computeTrend(records, {}, std::nullopt);
    EXPECT_EQ(trend.referenceFor(2), 1u);
    EXPECT_EQ(trend.operatingDelta(1, 0), 0);
    EXPECT_EQ(trend.operatingDelta(2, 0), 3000);
}

TEST(Trend, UndatedMeasurementsComeFirstAndAnEmptyNameHasNoEntries) {
    model::RecordList records;
    records.append(dated(dateOf(2025, 6, 1), 1, {{46}}));
    model::MeasurementRecord undated = dated(dateOf(2020, 1, 1), 2, {{41}});
    undated.testDateTime.status = support::DateStatus::Invalid;
    records.append(undated);
    const Trend trend = computeTrend(records, {}, std::nullopt);
    EXPECT_EQ(trend.entries[0].index, 1);
    EXPECT_EQ(trend.entries[0].verdict, Verdict::NotJudged);
    EXPECT_TRUE(computeTrend(model::RecordList(), {}, std::nullopt).entries.empty());
}

}  // namespace
}  // namespace plm::analysis
