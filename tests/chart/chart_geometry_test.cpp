#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chart/chart_plot.h"
#include "chart/layout_grid.h"
#include "sheet_fixture.h"
#include "support/text_codec.h"

namespace plm::chart {
namespace {

using support::sj;

std::vector<std::string> labelsOf(const std::vector<GridLine>& lines) {
    std::vector<std::string> out;
    for (const GridLine& l : lines)
        out.push_back(l.label);
    return out;
}

TEST(TimeGrid, TenDivisionsLabelledByMeasuringTime) {
    struct Case {
        int32_t measTime;
        std::vector<std::string> labels;
    };
    const std::vector<Case> cases = {
        {0, {"0", "5", "10", "15", "20", "25", "30", "35", "40", "45", "50"}},
        {3, {"0", "100", "200", "300", "400", "500", "600", "700", "800", "900", "1000"}},
        {4, {"0.0", "0.5", "1.0", "1.5", "2.0", "2.5", "3.0", "3.5", "4.0", "4.5", "5.0"}},
        {5, {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
        {7, {"0", "20", "40", "60", "80", "100", "120", "140", "160", "180", "200"}},
        {42, {"0", "20", "40", "60", "80", "100", "120", "140", "160", "180", "200"}},
        {-1, {"0", "20", "40", "60", "80", "100", "120", "140", "160", "180", "200"}},
    };
    for (const Case& c : cases) {
        const std::vector<GridLine> grid = timeGrid(1000, c.measTime);
        EXPECT_EQ(labelsOf(grid), c.labels) << "measTime " << c.measTime;
        ASSERT_EQ(grid.size(), 11u);
        EXPECT_DOUBLE_EQ(grid[4].position, 400.0);
        EXPECT_TRUE(grid.back().last);
        EXPECT_FALSE(grid[9].last);
    }
}

TEST(TimeGrid, SpansTheSamplesThereAreWhateverTheirCount) {
    // 137 samples short of a 1 s record: still ten divisions, labelled as 1 s.
    const std::vector<GridLine> grid = timeGrid(136, 3);
    ASSERT_EQ(grid.size(), 11u);
    EXPECT_DOUBLE_EQ(grid[5].position, 68.0);
    EXPECT_DOUBLE_EQ(grid.back().position, 136.0);
    EXPECT_EQ(grid.back().label, "1000");
    // A step of 0.7 samples sums to just above 7 after ten additions; the
    // closing line must not get lost to rounding.
    const std::vector<GridLine> tiny = timeGrid(7, 0);
    ASSERT_EQ(tiny.size(), 11u);
    EXPECT_EQ(tiny.back().label, "50");
    EXPECT_DOUBLE_EQ(tiny.back().position, 7.0);
    EXPECT_TRUE(timeGrid(0, 3).empty());
}

TEST(ChannelLabels, CommentIsCutWithoutSplittingACharacter) {
    const std::string kanji = sj("日");  // 0x93 0xFA: the trail byte has a lead-byte value
    ASSERT_TRUE(support::isLeadByte(static_cast<unsigned char>(kanji[1])));
    std::string endsInLead(299, 'a');
    endsInLead += kanji[0];
    struct Case {
        std::string comment;
        int len;
        std::string want;
    };
    const std::vector<Case> cases = {
        {"abcdefghijklmnopqrst", 14, "abcdefghijklmn.."},
        {"abcdefghijklmn", 14, "abcdefghijklmn"},
        {"abcdefghijklm" + sj("主接点"), 14, "abcdefghijklm.."},
        {"abcdefghijkl" + kanji + "x", 14, "abcdefghijkl" + kanji + ".."},
        {endsInLead, 14, "aaaaaaaaaaaaaa.."},
        {endsInLead, 300, endsInLead},
        {"abc", 0, ".."},
        {"", 14, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cutComment(c.comment, c.len), c.want) << support::toUtf8(c.comment);
    }
    EXPECT_EQ(channelLabel(1, "abcdefghijklmnopqrst", 14), sj("１CH\r\nabcdefghijklmn.."));
    EXPECT_EQ(channelLabel(4, "", 14), sj("４CH\r\n"));
}

TEST(Traces, StepLineChangesAtTheSampleBeforeTheNewState) {
    test::ensureApplication();
    // Channel 2 of 4 closes at sample 100 of 301 and opens at 200.
    const model::MeasurementRecord r = test::makeRecord(1, 301, {{}, {100, 200}});
    const ChannelEdges edges = findEdges(r, 2);
    EXPECT_FALSE(edges.initialOn);
    EXPECT_EQ(edges.edges, (std::vector<int64_t>{100, 200}));
    const double off = traceValue(4, 2, false);
    const double on = traceValue(4, 2, true);
    EXPECT_DOUBLE_EQ(off, 21.0);
    EXPECT_DOUBLE_EQ(on, 28.8);
    const std::vector<QPointF> want = {{0, off},  {99, off},  {99, on},   {100, on},
                                       {199, on}, {199, off}, {200, off}, {300, off}};
    EXPECT_EQ(stepPoints(edges, 4, 300), want);
}

TEST(Traces, FlatChannelsAndBandOrder) {
    const model::MeasurementRecord r = test::makeRecord(3, 50, {{}, {}}, {true, false});
    // Channel 1 is the top band of eight, ON all along: 8.8 above its bottom (70).
    EXPECT_EQ(stepPoints(findEdges(r, 1), 8, 49), (std::vector<QPointF>{{0, 78.8}, {49, 78.8}}));
    // Channel 8, the bottom band, OFF all along.
    EXPECT_EQ(stepPoints(findEdges(r, 8), 8, 49), (std::vector<QPointF>{{0, 1.0}, {49, 1.0}}));
}

TEST(Traces, ChangesWithinOnePixelMergeIntoOneStroke) {
    std::vector<int64_t> toggles;
    for (int64_t i = 1000; i < 1100; ++i)
        toggles.push_back(i);  // 100 changes, ends ON... OFF
    const model::MeasurementRecord r = test::makeRecord(0, 5001, {toggles});
    const ChannelEdges edges = findEdges(r, 1);
    ASSERT_EQ(edges.edges.size(), 100u);
    // Unmerged: start, the corner before the burst, two corners per change, end.
    EXPECT_EQ(stepPoints(edges, 3, 5000).size(), 1u + 1u + 2u * 100u + 1u);
    // At 200 samples per pixel the burst is one stroke across both levels.
    const std::vector<QPointF> merged = stepPoints(edges, 3, 5000, 200.0);
    const double off = traceValue(3, 1, false);
    const double on = traceValue(3, 1, true);
    EXPECT_EQ(merged, (std::vector<QPointF>{
                          {0, off}, {999, off}, {999, on}, {999, off}, {1099, off}, {5000, off}}));
}

TEST(LayoutGridTest, FixedPercentAndRestShareTheLength) {
    using E = Extent;
    struct Case {
        std::vector<Extent> extents;
        double total;
        std::vector<double> want;
    };
    const std::vector<Case> cases = {
        {{E::fixed(100), E::percent(50), E::rest()}, 300, {100, 100, 100}},
        {{E::percent(13), E::percent(20), E::rest()}, 1000, {130, 200, 670}},
        {{E::fixed(160), E::rest(), E::fixed(30)}, 100, {160, 0, 30}},
        {{E::percent(60), E::percent(60)}, 100, {60, 60}},
        {{E::rest(), E::rest()}, 50, {25, 25}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(distributeExtents(c.extents, c.total), c.want);
}

TEST(LayoutGridTest, MergedAndNestedCellsTakeTheirRange) {
    LayoutGrid grid(3, 2);
    grid.setColumnWidth(0, Extent::fixed(100));
    grid.setRowHeight(0, Extent::fixed(40));
    grid.merge(1, 0, 2, 1);
    LayoutGrid& inner = grid.nest(0, 1, 2, 1);
    grid.layout(QRectF(10, 20, 300, 100));
    EXPECT_EQ(grid.cellRect(1, 0), QRectF(110, 20, 200, 100));
    EXPECT_TRUE(grid.cell(2, 1).covered);
    EXPECT_EQ(inner.rect(), QRectF(10, 60, 100, 60));
    EXPECT_EQ(inner.cellRect(1, 0), QRectF(60, 60, 50, 60));
    EXPECT_DOUBLE_EQ(grid.fixedHeight(), 40.0);
    EXPECT_THROW(grid.merge(0, 0, 3, 0), std::out_of_range);
}

}  // namespace
}  // namespace plm::chart
