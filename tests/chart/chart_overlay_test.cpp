#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <string>
#include <vector>

#include "chart/chart_overlay.h"
#include "chart/chart_plot.h"
#include "chart/test_sheet.h"
#include "sheet_fixture.h"
#include "support/text_codec.h"

namespace plm::chart {
namespace {

using support::sj;

// Channel 1 of 3 closes at sample 450 of a 100 us record (45.0 ms at its
// stroke, sample 449 being 44.9 ms), bounces open at 452 and closes at 454;
// channel 3 never changes.
ChartPlot bounceChart(int32_t measPeriod) {
    model::MeasurementRecord r = test::makeRecord(0, 1001, {{450, 452, 454}, {700}});
    r.measPeriod = measPeriod;
    ChartPlot chart;
    chart.BuildTraces(r);
    return chart;
}

TEST(OverlayTexts, TimesAtTheSamplingPeriodsPrecision) {
    const ChartPlot fine = bounceChart(0);  // 0.1 ms
    EXPECT_EQ(cursorText(fine, 'A', 449), "A 44.9 ms");
    EXPECT_EQ(deltaText(fine, 449, 451), sj("Δt = B - A = 0.2 ms"));
    EXPECT_EQ(deltaText(fine, 451, 449), sj("Δt = B - A = -0.2 ms"));
    EXPECT_EQ(changeTimesText(fine, 1), sj("１CH 変化[ ms ]: 44.9, 45.1, 45.3"));
    EXPECT_EQ(changeTimesText(fine, 2), sj("２CH 変化[ ms ]: 69.9"));
    EXPECT_EQ(changeTimesText(fine, 3), "");
    const ChartPlot coarse = bounceChart(3);  // 20 ms
    EXPECT_EQ(cursorText(coarse, 'B', 449), "B 8980 ms");
    EXPECT_EQ(deltaText(coarse, 449, 451), sj("Δt = B - A = 40 ms"));
}

TEST(OverlayTexts, LongChangeListsAreCutAtTheTablesTenFields) {
    std::vector<int64_t> toggles;
    for (int64_t i = 10; i < 250; i += 20)
        toggles.push_back(i);  // 12 changes
    model::MeasurementRecord r = test::makeRecord(0, 300, {toggles});
    r.measPeriod = 1;  // 1 ms
    ChartPlot chart;
    chart.BuildTraces(r);
    EXPECT_EQ(changeTimesText(chart, 1),
              sj("１CH 変化[ ms ]: 9, 29, 49, 69, 89, 109, 129, 149, 169, 189 ほか 2 件"));
}

TEST(OverlayGeometry, ChannelUnderThePointer) {
    const QRectF plot(100, 50, 800, 300);  // three bands of 100
    struct Case {
        double y;
        int channel;
    };
    const std::vector<Case> cases = {{49, 0}, {50, 1}, {149.9, 1}, {150, 2}, {349, 3}, {350, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(channelAtY(c.y, plot, 3), c.channel) << c.y;
    EXPECT_EQ(channelAtY(100, plot, 0), 0);
}

TEST(OverlayPaint, CursorsStandAtTheirSamplesInTheZoomedView) {
    test::ensureApplication();
    const ChartPlot chart = bounceChart(0);
    QImage image(1000, 400, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QRectF plot(100, 20, 800, 360);
    ChartOverlay overlay;
    overlay.cursors = {449, 451};
    {
        QPainter painter(&image);
        paintOverlay(painter, plot, chart, SampleSpan{440, 460}, overlay);
    }
    // 40 pixels per sample: A at 100 + 9 * 40, B at 100 + 11 * 40.
    auto column = [&](int x) { return image.pixelColor(x, 290); };
    EXPECT_EQ(column(460), QColor(0, 90, 200));
    EXPECT_EQ(column(540), QColor(200, 40, 40));
    EXPECT_EQ(column(500), QColor(Qt::white));
    // A cursor outside the view draws nothing.
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        paintOverlay(painter, plot, chart, SampleSpan{600, 620}, overlay);
    }
    for (int x = 100; x < 900; ++x) {
        const QColor c = image.pixelColor(x, 290);
        ASSERT_TRUE(c != QColor(0, 90, 200) && c != QColor(200, 40, 40)) << x;
    }
}

// The cursor times and Δt stand on the time axis row, so no level line of a
// trace is covered however small the bands are; only the cursors' own lines
// cross the traces.
TEST(OverlayPaint, CursorTimesAndDeltaLeaveEveryTraceLevelVisible) {
    test::ensureApplication();
    const model::MeasurementRecord r =
        test::makeRecord(0, 201, {{40, 42, 44}, {60}}, {false, true});
    TestSheet sheet;
    sheet.rebuild(test::defaultSettings(), {"A", "B", "C"}, &r);
    for (int height : {560, 900}) {
        QImage plain(1280, height, QImage::Format_RGB32);
        plain.fill(Qt::white);
        QPainter painter(&plain);
        sheet.paint(painter, QRectF(plain.rect()));
        const double ppu = pixelsPerUnit(painter);
        painter.end();
        auto pixels = [ppu](const QRectF& units) {
            return QRectF(units.topLeft() * ppu, units.size() * ppu);
        };
        const QRectF plot = pixels(sheet.plotRect());
        ChartOverlay overlay;
        overlay.axisRow = pixels(sheet.timeAxisRow());
        QImage shown = plain;
        for (const ChartCursors cursors : {ChartCursors{41, 61}, ChartCursors{41, 43},
                                           ChartCursors{0, 200}, ChartCursors{199, 198}}) {
            overlay.cursors = cursors;
            shown = plain;
            QPainter over(&shown);
            paintOverlay(over, plot, sheet.chart(), SampleSpan{0, 200}, overlay);
            over.end();
            const auto nearCursor = [&](int x) {
                for (int64_t at : {*cursors.a, *cursors.b}) {
                    const double cx = sampleToX(static_cast<double>(at), SampleSpan{0, 200},
                                                plot.left(), plot.width());
                    if (std::abs(x - cx) < 2.0)
                        return true;
                }
                return false;
            };
            // The level lines: rows of the plot with a long black run.
            int covered = 0;
            int levelPixels = 0;
            for (int y = static_cast<int>(plot.top()) + 1; y < static_cast<int>(plot.bottom());
                 ++y) {
                int run = 0;
                for (int x = static_cast<int>(plot.left()); x < static_cast<int>(plot.right()); ++x)
                    run += plain.pixel(x, y) == qRgb(0, 0, 0) ? 1 : 0;
                if (run < plot.width() / 4)
                    continue;
                for (int x = static_cast<int>(plot.left()); x < static_cast<int>(plot.right());
                     ++x) {
                    if (plain.pixel(x, y) != qRgb(0, 0, 0) || nearCursor(x))
                        continue;
                    ++levelPixels;
                    covered += shown.pixel(x, y) == qRgb(0, 0, 0) ? 0 : 1;
                }
            }
            EXPECT_GT(levelPixels, 1000) << height;
            EXPECT_EQ(covered, 0) << height << " " << *cursors.a << "/" << *cursors.b;
        }
        // The times stand on the axis row, under the plot.
        int inkOnRow = 0;
        const QRectF row = overlay.axisRow;
        for (int y = static_cast<int>(row.top()); y < static_cast<int>(row.bottom()); ++y)
            for (int x = static_cast<int>(plot.left()); x < static_cast<int>(plot.right()); ++x)
                inkOnRow += shown.pixel(x, y) != plain.pixel(x, y) ? 1 : 0;
        EXPECT_GT(inkOnRow, 100) << height;
    }
}

}  // namespace
}  // namespace plm::chart
