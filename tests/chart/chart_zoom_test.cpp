#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <optional>
#include <string>
#include <vector>

#include "chart/chart_plot.h"
#include "chart/chart_zoom.h"
#include "chart/test_sheet.h"
#include "report/operating_times.h"
#include "sheet_fixture.h"

namespace plm::chart {
namespace {

std::vector<std::string> labelsOf(const std::vector<GridLine>& lines) {
    std::vector<std::string> out;
    for (const GridLine& l : lines)
        out.push_back(l.label);
    return out;
}

TEST(ZoomGeometry, SampleAndXMapBothWaysUnderZoom) {
    struct Case {
        SampleSpan view;
        double sample;
        double x;  // plot from 100, 1000 wide
    };
    const std::vector<Case> cases = {
        {{0, 1000}, 0, 100},        {{0, 1000}, 1000, 1100}, {{0, 1000}, 250, 350},
        {{400, 500}, 400, 100},     {{400, 500}, 450, 600},  {{400, 500}, 500, 1100},
        {{400.5, 402.5}, 401, 350}, {{400, 500}, 300, -900},  // left of the view
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(sampleToX(c.sample, c.view, 100, 1000), c.x) << c.sample;
        EXPECT_DOUBLE_EQ(xToSample(c.x, c.view, 100, 1000), c.sample) << c.x;
    }
}

TEST(ZoomGeometry, ZoomKeepsThePointerSampleAndStaysInsideTheRecord) {
    struct Case {
        const char* name;
        SampleSpan view;
        double anchor;
        double factor;
        SampleSpan want;
    };
    const std::vector<Case> cases = {
        {"in at the middle", {0, 1000}, 500, 2, {250, 750}},
        {"in at a quarter", {0, 1000}, 250, 4, {187.5, 437.5}},
        {"in at the left edge", {0, 1000}, 0, 10, {0, 100}},
        {"out past both ends", {400, 500}, 450, 0.01, {0, 1000}},
        {"out past the left end", {0, 100}, 90, 0.5, {0, 200}},
        {"out past the right end", {900, 1000}, 950, 0.25, {600, 1000}},
        {"never under two samples", {500, 510}, 505, 100, {504, 506}},
        {"a bad factor only clamps", {-10, 90}, 0, 0, {0, 100}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zoomAround(c.view, c.anchor, c.factor, 1000), c.want) << c.name;
    }
    // A record of one step cannot be zoomed below itself.
    EXPECT_EQ(zoomAround({0, 1}, 0.5, 8, 1), (SampleSpan{0, 1}));
}

TEST(ZoomGeometry, PanAndDraggedRangeStopAtTheEnds) {
    EXPECT_EQ(panBy({100, 200}, 50, 1000), (SampleSpan{150, 250}));
    EXPECT_EQ(panBy({100, 200}, -500, 1000), (SampleSpan{0, 100}));
    EXPECT_EQ(panBy({800, 950}, 500, 1000), (SampleSpan{850, 1000}));
    EXPECT_EQ(panBy({0, 1000}, 30, 1000), (SampleSpan{0, 1000}));
    EXPECT_EQ(spanBetween(700, 300, 1000), (SampleSpan{300, 700}));
    EXPECT_EQ(spanBetween(-50, 2000, 1000), (SampleSpan{0, 1000}));
    // A click that barely moved still gives a view of two samples.
    EXPECT_EQ(spanBetween(500.2, 500.2, 1000), (SampleSpan{499.2, 501.2}));
    EXPECT_EQ(spanBetween(0, 0.5, 1000), (SampleSpan{0, 2}));
}

TEST(ZoomTicks, StepsAreOneTwoFiveAndNeverFinerThanASample) {
    struct Case {
        double spanMs, width, spacing, periodMs, want;
    };
    const std::vector<Case> cases = {
        {1000, 1000, 100, 1, 100},      {1000, 1000, 101, 1, 200},  {1000, 1000, 250, 1, 500},
        {1000, 1000, 501, 1, 1000},     {50, 1500, 180, 0.1, 10},   {3, 1500, 180, 0.1, 0.5},
        {0.2, 1500, 180, 0.1, 0.1},     {0.2, 1500, 180, 20, 20},   {100, 1500, 180, 20, 20},
        {200000, 1500, 180, 20, 50000}, {1.5, 1500, 180, 0.5, 0.5}, {7, 1500, 180, 0.1, 1},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(tickStepMs(c.spanMs, c.width, c.spacing, c.periodMs), c.want)
            << c.spanMs << " ms over " << c.width << " at " << c.periodMs << " ms";
    }
}

TEST(ZoomTicks, LabelsFollowTheStepAndTheCaptionUnit) {
    // 100 us period: 44.7 .. 45.9 ms on 1500 units at 180 apart gives 0.2 ms ticks.
    const std::vector<GridLine> fine = zoomGrid({447, 459}, 0.1, false, 1500, 180);
    EXPECT_EQ(labelsOf(fine),
              (std::vector<std::string>{"44.8", "45.0", "45.2", "45.4", "45.6", "45.8"}));
    EXPECT_NEAR(fine[0].position, 448.0, 1e-9);
    EXPECT_NEAR(fine.back().position, 458.0, 1e-9);
    // The whole 1 s record at 1 ms: 100 ms ticks, labels without decimals.
    EXPECT_EQ(labelsOf(zoomGrid({0, 1000}, 1, false, 1800, 180)),
              (std::vector<std::string>{"0", "100", "200", "300", "400", "500", "600", "700", "800",
                                        "900", "1000"}));
    // A 5 s record reads in seconds: 50 ms steps need two decimals.
    EXPECT_EQ(labelsOf(zoomGrid({1000, 1400}, 0.5, true, 1500, 180)),
              (std::vector<std::string>{"0.50", "0.55", "0.60", "0.65", "0.70"}));
    EXPECT_TRUE(zoomGrid({0, 0}, 1, false, 1500, 180).empty());
}

// Channel 1 of a 1001-sample record: closes at 100, bounces open at 102 and
// closed again at 104, opens at 600.
ChannelEdges bouncing() {
    return {1, false, {100, 102, 104, 600}};
}

TEST(ChangeSearch, NextPreviousAndNearestChangeOfAChannel) {
    const ChannelEdges t = bouncing();
    struct Case {
        double at;
        std::optional<int64_t> next, previous;
    };
    const std::vector<Case> cases = {
        {0, 99, std::nullopt},    {98.9, 99, std::nullopt},
        {99, 101, std::nullopt},  {99.5, 101, 99},
        {101, 103, 99},           {103, 599, 101},
        {599, std::nullopt, 103}, {1000, std::nullopt, 599},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nextChange(t, c.at), c.next) << c.at;
        EXPECT_EQ(previousChange(t, c.at), c.previous) << c.at;
    }
    EXPECT_EQ(nearestChange(t, 99.8, 5), 99);
    EXPECT_EQ(nearestChange(t, 100.6, 5), 101);
    EXPECT_EQ(nearestChange(t, 103, 5), 103);
    EXPECT_EQ(nearestChange(t, 300, 5), std::nullopt);
    EXPECT_EQ(nearestChange(ChannelEdges{}, 300, 1e9), std::nullopt);
}

TEST(ChangeSearch, AnyChannelTakesTheClosestChangeOfAll) {
    const std::vector<ChannelEdges> traces = {bouncing(), {2, true, {50, 300}}, {3, false, {}}};
    EXPECT_EQ(nextChange(traces, 0), 49);
    EXPECT_EQ(nextChange(traces, 49), 99);
    EXPECT_EQ(nextChange(traces, 103), 299);
    EXPECT_EQ(nextChange(traces, 599), std::nullopt);
    EXPECT_EQ(previousChange(traces, 599), 299);
    EXPECT_EQ(previousChange(traces, 99), 49);
    EXPECT_EQ(previousChange(traces, 49), std::nullopt);
}

TEST(ChangeSearch, OperatingChangeIsTheTablesFirstField) {
    struct Case {
        std::vector<int64_t> edges;
        bool manual;
        std::optional<int64_t> want;
    };
    const std::vector<Case> cases = {
        {{100, 102}, false, 99},  {{100, 102}, true, 99},
        {{1, 50}, true, 0},    // a manual start's change at once counts as 0
        {{1, 50}, false, 49},  // the table measures from sample 1's state
        {{2, 50}, false, 1},      {{1}, false, std::nullopt},
        {{}, true, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(operatingChange({1, false, c.edges}, c.manual), c.want)
            << c.edges.size() << " edges, manual " << c.manual;
        // The same as the operating-time table finds in a record with these changes.
        model::MeasurementRecord r = test::makeRecord(0, 200, {c.edges});
        r.measureOpe = c.manual ? 1 : 0;
        const int64_t first = report::OperatingTimeIntervals(r, 0)[0];
        const bool zero = c.manual && r.contactState(0, 0) != r.contactState(0, 1);
        const std::optional<int64_t> table =
            zero ? std::optional<int64_t>(0)
                 : (first < 0 ? std::nullopt : std::optional<int64_t>(first));
        EXPECT_EQ(operatingChange(findEdges(r, 1), c.manual), table);
    }
}

TEST(Cursor, SnapsToSamplesAndReadsTheLevelDrawnRightOfIt) {
    EXPECT_EQ(snapToSample(10.4, 1000), 10);
    EXPECT_EQ(snapToSample(10.5, 1000), 11);
    EXPECT_EQ(snapToSample(-3, 1000), 0);
    EXPECT_EQ(snapToSample(1e12, 1000), 1000);
    const ChannelEdges t = bouncing();
    struct Case {
        int64_t at;
        bool on;
    };
    // The stroke of the change at sample 100 is drawn at 99; right of it the line is ON.
    const std::vector<Case> cases = {{0, false},  {98, false},  {99, true},
                                     {100, true}, {101, false}, {103, true},
                                     {598, true}, {599, false}, {1000, false}};
    for (const Case& c : cases)
        EXPECT_EQ(stateAt(t, c.at, 1000), c.on) << c.at;
    EXPECT_TRUE(stateAt({1, true, {}}, 1000, 1000));
}

TEST(Cursor, TimesCarryThePrecisionOfTheSamplingPeriod) {
    struct Case {
        double ms, periodMs;
        std::string want;
    };
    const std::vector<Case> cases = {
        {0.2, 0.1, "0.2"}, {45.0, 0.1, "45.0"},  {12, 1, "12"}, {-40, 20, "-40"},
        {7.5, 0.5, "7.5"}, {0.25, 0.05, "0.25"}, {10, 5, "10"}, {0.3 - 0.1, 0.1, "0.2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(msLabel(c.ms, c.periodMs), c.want) << c.ms << " at " << c.periodMs;
}

TEST(ZoomedTraces, AViewWalksOnlyTheChangesInsideIt) {
    const ChannelEdges t = bouncing();
    const double off = traceValue(1, 1, false);
    const double on = traceValue(1, 1, true);
    // Starting inside the bounce: the line starts at the level drawn there.
    EXPECT_EQ(stepPoints(t, 1, SampleSpan{100, 110}), (std::vector<QPointF>{{100, on},
                                                                            {101, on},
                                                                            {101, off},
                                                                            {102, off},
                                                                            {103, off},
                                                                            {103, on},
                                                                            {104, on},
                                                                            {110, on}}));
    // A view between changes is one flat stroke at the right level.
    EXPECT_EQ(stepPoints(t, 1, SampleSpan{200, 300}), (std::vector<QPointF>{{200, on}, {300, on}}));
    EXPECT_EQ(stepPoints(t, 1, SampleSpan{700, 800}),
              (std::vector<QPointF>{{700, off}, {800, off}}));
    // The whole record gives the same line as the designed drawing.
    EXPECT_EQ(stepPoints(t, 1, SampleSpan{0, 1000}), stepPoints(t, 1, 1000));
}

TEST(ZoomedTraces, ZoomedSheetDrawsTheBounceTheWholeViewMerges) {
    test::gui();
    // Channel 1 of 3 closes at sample 4000 of 10001, bounces open for two
    // samples at 4002; at full width the bounce is under a pixel.
    const model::MeasurementRecord r = test::makeRecord(0, 10001, {{4000, 4002, 4004}});
    TestSheet sheet;
    sheet.rebuild(test::defaultSettings(), {"A", "B", "C"}, &r);
    QImage image(1200, 900, QImage::Format_RGB32);
    auto columnsWithInk = [&](const std::optional<SampleSpan>& view, double from, double to) {
        image.fill(Qt::white);
        QPainter painter(&image);
        sheet.paint(painter, QRectF(image.rect()), {}, view);
        const double ppu = pixelsPerUnit(painter);
        painter.end();
        const QRectF plot = sheet.plotRect();
        // Rows of the top band around its ON level.
        const int y = static_cast<int>((plot.top() + plot.height() / 3 * 0.5) * ppu);
        int count = 0;
        for (int x = static_cast<int>(from * ppu); x < static_cast<int>(to * ppu); ++x)
            count += image.pixel(x, y) == qRgb(0, 0, 0) ? 1 : 0;
        return count;
    };
    const QRectF plotUnits = [&] {
        QPainter p(&image);
        sheet.paint(p, QRectF(image.rect()));
        return sheet.plotRect();
    }();
    const double left = plotUnits.left() + 2;
    const double right = plotUnits.right() - 2;
    // The whole record: the close and the bounce merge into one stroke.
    EXPECT_EQ(columnsWithInk(std::nullopt, left, right), 1);
    // 3990 .. 4010: close at 3999, open at 4001, close at 4003, each its own stroke.
    EXPECT_EQ(columnsWithInk(SampleSpan{3990, 4010}, left, right), 3);
}

}  // namespace
}  // namespace plm::chart
