#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "analysis/figures.h"
#include "record_fixture.h"
#include "report/operating_times.h"

namespace plm::analysis {
namespace {

using test::buildRecord;
using test::RecordShape;

struct Expected {
    std::optional<int64_t> operatingUs;
    int changes;
    std::optional<int64_t> bounceUs;
    std::optional<bool> finalOn;
};

struct ChannelCase {
    const char* name;
    RecordShape shape;
    Expected expected;  // of channel 1
};

class ChannelFiguresTable : public ::testing::TestWithParam<ChannelCase> {};

TEST_P(ChannelFiguresTable, MatchesTheFiguresWorkedOutByHand) {
    const ChannelCase& c = GetParam();
    const MeasurementFigures f = computeFigures(buildRecord(c.shape), defaultPoleGroup());
    ASSERT_EQ(f.channels.size(), 3u);
    const ChannelFigures& ch = f.channels[0];
    EXPECT_EQ(ch.channel, 1);
    EXPECT_EQ(ch.operatingUs, c.expected.operatingUs);
    EXPECT_EQ(ch.changes, c.expected.changes);
    EXPECT_EQ(ch.bounceUs, c.expected.bounceUs);
    EXPECT_EQ(ch.finalOn, c.expected.finalOn);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChannelFiguresTable,
    ::testing::Values(
        ChannelCase{"NoChange", {0, 1, 101, {{}}}, {std::nullopt, 0, std::nullopt, false}},
        ChannelCase{
            "NoChangeStartingOn", {0, 1, 101, {{}}, {true}}, {std::nullopt, 0, std::nullopt, true}},
        // 450 steps of 100 us from sample 1: exactly 45.0 ms, not 45.000000000000007.
        ChannelCase{"OneChange100us", {0, 0, 501, {{451}}}, {45000, 1, 0, true}},
        ChannelCase{"OneChange1ms", {0, 1, 101, {{36}}}, {35000, 1, 0, true}},
        ChannelCase{"OneChange20ms", {0, 3, 101, {{3}}}, {40000, 1, 0, true}},
        // Close at 100, bounce open at 103, close again at 105.
        ChannelCase{"Bounce", {0, 1, 201, {{100, 103, 105}}}, {99000, 3, 5000, true}},
        ChannelCase{"OpeningWithBounce", {0, 0, 201, {{50, 52}}, {true}}, {4900, 2, 200, true}},
        // The designed table measures from sample 1: a change between samples
        // 0 and 1 is no operation.
        ChannelCase{"ChangeBetweenSamples0And1",
                    {0, 1, 101, {{1}}, {true}},
                    {std::nullopt, 0, std::nullopt, false}},
        ChannelCase{"ChangeAtSample2", {0, 1, 101, {{2}}}, {1000, 1, 0, true}},
        // Code 4 names no sampling period: changes count, times do not exist.
        ChannelCase{
            "UnknownPeriodCode4", {0, 4, 101, {{11, 20}}}, {std::nullopt, 2, std::nullopt, false}},
        ChannelCase{
            "TooShortToMeasure", {0, 1, 1, {{}}, {true}}, {std::nullopt, 0, std::nullopt, true}},
        ChannelCase{"NoSamples", {0, 1, 0, {{}}}, {std::nullopt, 0, std::nullopt, std::nullopt}}),
    [](const auto& info) { return std::string(info.param.name); });

// The operating time is the first field of the designed operating-time row,
// for every channel of a busy record.
TEST(Figures, OperatingTimeIsTheFirstIntervalOfTheOperatingTimeRow) {
    const model::MeasurementRecord r = buildRecord(
        {3,
         5,
         201,
         {{20, 60}, {25, 61, 90}, {30, 100, 101, 102}, {5}, {}, {150, 160}, {40}, {1, 199}},
         {false, true, false, false, true}});
    const MeasurementFigures f = computeFigures(r, defaultPoleGroup());
    ASSERT_EQ(f.channels.size(), 8u);
    for (int c = 0; c < 8; ++c) {
        const int64_t first = report::OperatingTimeIntervals(r, c)[0];
        const ChannelFigures& ch = f.channels[static_cast<size_t>(c)];
        const std::optional<int64_t> expected =
            first < 0 ? std::nullopt : std::optional<int64_t>(first * 5000);
        EXPECT_EQ(ch.operatingUs, expected) << "channel " << c + 1;
    }
    EXPECT_EQ(f.channels[2].changes, 4);
    EXPECT_EQ(f.channels[2].bounceUs, 72 * 5000);
}

// Only the low channelCount bits of a sample are channels: the others may
// hold anything, also across the eight-sample steps of the scan.
TEST(Figures, BitsAboveTheChannelCountAreNoChannels) {
    model::MeasurementRecord r = buildRecord({0, 1, 41, {{}, {17}, {}}});
    for (size_t i = 0; i < r.contacts.size(); ++i)
        r.contacts[i] |= static_cast<uint8_t>((i * 37) & 0xF8);
    const MeasurementFigures f = computeFigures(r, defaultPoleGroup());
    ASSERT_EQ(f.channels.size(), 3u);
    EXPECT_EQ(f.channels[0].changes, 0);
    EXPECT_EQ(f.channels[1].changes, 1);
    EXPECT_EQ(f.channels[1].operatingUs, 16000);
    EXPECT_EQ(f.channels[2].changes, 0);
}

// The scan against a sample-by-sample count on random records of every
// length around the eight-sample steps.
TEST(Figures, AgreeWithASampleBySampleCount) {
    std::mt19937 random(5);
    for (size_t n = 0; n < 40; ++n) {
        for (int round = 0; round < 10; ++round) {
            model::MeasurementRecord r = buildRecord({3, 1, n, {}});
            for (size_t i = 0; i < r.contacts.size(); ++i)
                r.contacts[i] = static_cast<uint8_t>(random() % 3 == 0 ? random() : 0x5A);
            const MeasurementFigures f = computeFigures(r, defaultPoleGroup());
            for (int c = 0; c < 8; ++c) {
                int changes = 0;
                int64_t first = -1;
                int64_t last = -1;
                for (size_t i = 2; i < n; ++i) {
                    if (r.contactState(c, static_cast<int64_t>(i)) !=
                        r.contactState(c, static_cast<int64_t>(i) - 1)) {
                        ++changes;
                        first = first < 0 ? static_cast<int64_t>(i) : first;
                        last = static_cast<int64_t>(i);
                    }
                }
                const ChannelFigures& ch = f.channels[static_cast<size_t>(c)];
                ASSERT_EQ(ch.changes, changes) << "n=" << n << " channel " << c + 1;
                ASSERT_EQ(ch.firstChange, first) << "n=" << n << " channel " << c + 1;
                ASSERT_EQ(ch.lastChange, last) << "n=" << n << " channel " << c + 1;
            }
        }
    }
}

struct SpreadCase {
    const char* name;
    RecordShape shape;
    std::vector<int> group;
    std::optional<int64_t> spreadUs;
};

class PoleSpreadTable : public ::testing::TestWithParam<SpreadCase> {};

TEST_P(PoleSpreadTable, IsMaxMinusMinOfThePolesThatMoved) {
    const SpreadCase& c = GetParam();
    EXPECT_EQ(computeFigures(buildRecord(c.shape), c.group).poleSpreadUs, c.spreadUs);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PoleSpreadTable,
    ::testing::Values(
        SpreadCase{"ThreePoles", {0, 0, 601, {{451}, {460}, {455}}}, {1, 2, 3}, 900},
        SpreadCase{"AllIdenticalPoles", {0, 1, 101, {{50}, {50}, {50}}}, {1, 2, 3}, 0},
        // Channel 2 is an auxiliary contact outside the group.
        SpreadCase{"ChannelMissingFromTheGroup", {0, 1, 101, {{40}, {90}, {42}}}, {1, 3}, 2000},
        SpreadCase{"PoleThatNeverMoved", {0, 1, 101, {{40}, {}, {45}}}, {1, 2, 3}, 5000},
        SpreadCase{"OnlyOnePoleMoved", {0, 1, 101, {{40}, {}, {}}}, {1, 2, 3}, std::nullopt},
        SpreadCase{"GroupBeyondTheChannels", {0, 1, 101, {{40}, {41}, {43}}}, {1, 2, 3, 7}, 3000},
        SpreadCase{"Channel4OutsideTheDefaultGroup",
                   {1, 1, 101, {{40}, {41}, {43}, {90}}},
                   {1, 2, 3},
                   3000},
        SpreadCase{"NoTimeBase", {0, 4, 101, {{40}, {41}, {43}}}, {1, 2, 3}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Figures, MillisecondTextsAreExactBothWays) {
    const struct {
        int64_t us;
        const char* text;
    } cases[] = {{45000, "45.0"}, {500, "0.5"}, {1250, "1.25"},
                 {-900, "-0.9"},  {0, "0.0"},   {123, "0.123"}};
    for (const auto& c : cases) {
        EXPECT_EQ(msFromMicros(c.us), c.text);
        if (c.us >= 0) {
            EXPECT_EQ(microsFromMsText(c.text), c.us) << c.text;
        }
    }
    EXPECT_EQ(microsFromMsText("45"), 45000);
    for (const char* bad :
         {"", "-1", "1.", ".5", "1.2345", "1e3", "4 5", "0x10", "99999999999", "1,5"})
        EXPECT_FALSE(microsFromMsText(bad)) << bad;
}

}  // namespace
}  // namespace plm::analysis
