#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/verdict.h"
#include "record_fixture.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

namespace plm::analysis {
namespace {

using support::sj;
using test::buildRecord;
using test::RecordShape;

Limits limitsOf(const std::vector<std::pair<std::string, std::string>>& values) {
    Limits limits;
    for (const auto& [key, value] : values)
        setLimit(limits, key, value);
    return limits;
}

struct VerdictCase {
    const char* name;
    RecordShape shape;
    std::vector<std::pair<std::string, std::string>> limits;
    std::vector<Verdict> channels;
    Verdict measurement;
};

constexpr Verdict P = Verdict::Pass;
constexpr Verdict F = Verdict::Fail;
constexpr Verdict N = Verdict::NotJudged;

// A close at 1 ms: poles at 40, 41 and 43 ms, an auxiliary contact on channel 4.
const RecordShape kClose{1, 1, 101, {{41}, {42}, {44}, {90}}};
const RecordShape kTrip{1, 1, 101, {{41}, {42}, {44}, {90}}, {true, true, true, true}, 1};

class VerdictTable : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(VerdictTable, JudgesChannelsAndMeasurement) {
    const VerdictCase& c = GetParam();
    const model::MeasurementRecord r = buildRecord(c.shape);
    const Limits limits = limitsOf(c.limits);
    const Judgement j = judge(r, computeFigures(r, limits.poleGroupOrDefault()), limits);
    ASSERT_EQ(j.channels.size(), c.channels.size());
    for (size_t i = 0; i < c.channels.size(); ++i)
        EXPECT_EQ(j.channels[i].verdict, c.channels[i])
            << "CH" << i + 1 << ": " << support::toUtf8(j.channels[i].reason);
    EXPECT_EQ(j.verdict, c.measurement) << support::toUtf8(j.reason);
    EXPECT_FALSE(j.reason.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VerdictTable,
    ::testing::Values(
        VerdictCase{"NoLimits", kClose, {}, {N, N, N, N}, N},
        VerdictCase{
            "PoleGroupAloneJudgesNothing", kClose, {{"pole_group", "1,2"}}, {N, N, N, N}, N},
        VerdictCase{"WithinCloseLimits",
                    kClose,
                    {{"close_min_ms", "40"}, {"close_max_ms", "43"}},
                    {P, P, P, N},
                    P},
        VerdictCase{"OnePoleTooSlow", kClose, {{"close_max_ms", "42.5"}}, {P, P, F, N}, F},
        VerdictCase{"OnePoleTooFast", kClose, {{"close_min_ms", "40.5"}}, {F, P, P, N}, F},
        // A trip is judged by the open limits only.
        VerdictCase{"TripIgnoresCloseLimits",
                    kTrip,
                    {{"close_max_ms", "1"}, {"open_max_ms", "45"}},
                    {P, P, P, N},
                    P},
        VerdictCase{"TripWithOnlyCloseLimits", kTrip, {{"close_max_ms", "1"}}, {N, N, N, N}, N},
        VerdictCase{"SpreadTooWide", kClose, {{"pole_spread_max_ms", "2.9"}}, {N, N, N, N}, F},
        VerdictCase{"SpreadWithin", kClose, {{"pole_spread_max_ms", "3"}}, {N, N, N, N}, P},
        // The auxiliary contact joins the group and breaks the limit.
        VerdictCase{"GroupOfFour",
                    kClose,
                    {{"close_max_ms", "50"}, {"pole_group", "1,2,3,4"}},
                    {P, P, P, F},
                    F},
        VerdictCase{"PoleThatDidNotMove",
                    {0, 1, 101, {{41}, {}, {44}}},
                    {{"close_max_ms", "50"}},
                    {P, F, P},
                    F},
        VerdictCase{"BounceTooLong",
                    {0, 1, 101, {{41, 43, 46}, {42}, {44}}},
                    {{"bounce_max_ms", "4"}},
                    {F, P, P},
                    F},
        VerdictCase{"BounceWithin",
                    {0, 1, 101, {{41, 43, 46}, {42}, {44}}},
                    {{"bounce_max_ms", "5"}},
                    {P, P, P},
                    P},
        // Without a time base nothing timed can pass, but a pole that never
        // moved still fails.
        VerdictCase{"UnknownPeriod",
                    {0, 4, 101, {{41}, {42}, {44}}},
                    {{"close_max_ms", "50"}},
                    {N, N, N},
                    N},
        VerdictCase{"UnknownPeriodPoleStill",
                    {0, 4, 101, {{41}, {}, {44}}},
                    {{"close_max_ms", "50"}},
                    {N, F, N},
                    F}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Verdict, ReasonsNameTheBrokenLimitAndTheValues) {
    const model::MeasurementRecord r = buildRecord({0, 0, 601, {{451}, {460}, {455}}});
    const Limits limits = limitsOf({{"close_max_ms", "45.5"}, {"pole_spread_max_ms", "0.5"}});
    const Judgement j = judge(r, computeFigures(r, limits.poleGroupOrDefault()), limits);
    EXPECT_EQ(j.channels[1].reason, sj("動作時間 45.9 ms が上限 45.5 ms を超えています"));
    EXPECT_EQ(j.channels[0].reason, sj("基準内"));
    EXPECT_EQ(j.poleSpreadReason, sj("極間差 0.9 ms が上限 0.5 ms を超えています"));
    EXPECT_EQ(j.reason,
              sj("CH2: 動作時間 45.9 ms が上限 45.5 ms を超えています、極間差 0.9 ms が上限 "
                 "0.5 ms を超えています"));
    EXPECT_EQ(verdictText(j.verdict), sj("不合格"));
}

TEST(Limits, KeysRoundTripAndBadValuesAreRefused) {
    Limits limits;
    for (const std::string& key : limitKeys()) {
        const std::string value = key == "pole_group" ? "3,1" : "12.5";
        setLimit(limits, key, value);
        EXPECT_EQ(limitText(limits, key), value == "3,1" ? "3,1" : "12.5");
    }
    const Limits circuit = limits;
    Limits name;
    setLimit(name, "close_max_ms", "60");
    const Limits both = circuit.overlaidWith(name);
    EXPECT_EQ(both.closeMaxUs, 60000);
    EXPECT_EQ(both.closeMinUs, 12500);
    setLimit(limits, "close_min_ms", "");
    EXPECT_FALSE(limits.closeMinUs);

    const std::pair<const char*, const char*> bad[] = {
        {"close_min", "1"},   {"close_min_ms", "abc"}, {"pole_group", "1,1"},
        {"pole_group", "0"},  {"pole_group", "9"},     {"pole_group", "1,,2"},
        {"pole_group", "1,"}, {"bounce_max_ms", "-2"}};
    for (const auto& [key, value] : bad)
        EXPECT_THROW(setLimit(limits, key, value), CxException) << key << "=" << value;

    Limits crossed;
    setLimit(crossed, "open_min_ms", "50");
    setLimit(crossed, "open_max_ms", "40");
    EXPECT_EQ(inconsistency(crossed), sj("open_min_ms が open_max_ms より大きくなっています"));
}

}  // namespace
}  // namespace plm::analysis
