#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>

#include <algorithm>
#include <string>

#include "../analysis/record_fixture.h"
#include "chart/analysis_page.h"
#include "chart/qt_text.h"
#include "chart/reference_overlay.h"
#include "chart/report_page.h"
#include "chart/test_sheet.h"
#include "chart/trend_plot.h"
#include "common/temp_dir.h"
#include "pdf_text.h"
#include "sheet_fixture.h"
#include "support/text_codec.h"

namespace plm::chart {
namespace {

using support::sj;

model::MeasurementRecord dated(int year, int month, int32_t measureType,
                               std::vector<std::vector<int64_t>> changes) {
    model::MeasurementRecord r =
        test::buildRecord({0, 1, 101, std::move(changes), {}, measureType});
    r.testDateTime = test::dateOf(year, month, 1);
    r.dataNo = year;
    return r;
}

// Closes in 2020, 2021 and 2024 with a trip between them.
model::RecordList history() {
    model::RecordList records;
    records.append(dated(2020, 1, 0, {{41}, {42}, {43}}));
    records.append(dated(2021, 1, 1, {{21}, {22}, {23}}));
    records.append(dated(2021, 1, 0, {{43}, {44}, {}}));
    records.append(dated(2024, 1, 0, {{51}, {52}, {53}}));
    return records;
}

TEST(TrendPlotData, PointsOfOneKindPlacedByDateWithLimitsAndMarks) {
    analysis::Limits limits;
    analysis::setLimit(limits, "close_max_ms", "50");
    analysis::setLimit(limits, "open_max_ms", "30");
    const analysis::Trend trend = analysis::computeTrend(history(), limits, std::nullopt);
    const TrendPlotData data = trendPlotData(trend, limits, true, {1, 3}, 3);
    ASSERT_EQ(data.x.size(), 3u);
    EXPECT_DOUBLE_EQ(data.x[0], 0.0);
    EXPECT_NEAR(data.x[1], 366.0 / (366 + 365 + 365 + 365), 1e-12);  // 2020 is a leap year
    EXPECT_DOUBLE_EQ(data.x[2], 1.0);
    EXPECT_EQ(data.dates[1], "2021/01/01");
    ASSERT_EQ(data.series.size(), 2u);
    EXPECT_EQ(data.series[0], (std::vector<std::optional<double>>{40.0, 42.0, 50.0}));
    EXPECT_EQ(data.series[1], (std::vector<std::optional<double>>{42.0, std::nullopt, 52.0}));
    EXPECT_EQ(data.maxMs, 50.0);
    EXPECT_FALSE(data.minMs);
    EXPECT_EQ(data.reference, 0);
    EXPECT_EQ(data.highlight, 2);

    // The trips alone: one point in the middle, no reference of that kind marked.
    const TrendPlotData trips = trendPlotData(trend, limits, false, {1}, 3);
    EXPECT_EQ(trips.x, std::vector<double>{0.5});
    EXPECT_EQ(trips.maxMs, 30.0);
    EXPECT_EQ(trips.reference, -1);
    EXPECT_EQ(trips.highlight, -1);
}

TEST(TrendPlotData, ValueAxisCoversTheRangeWithRoundSteps) {
    const struct {
        double lo, hi;
        ValueAxis expected;
    } cases[] = {{38.2, 61.7, {30.0, 70.0, 10.0}},
                 {0.41, 2.05, {0.0, 2.5, 0.5}},
                 {44.9, 45.1, {44.9, 45.1, 0.05}}};
    for (const auto& c : cases) {
        const ValueAxis axis = valueAxis(c.lo, c.hi, 4);
        EXPECT_NEAR(axis.lo, c.expected.lo, 1e-9) << c.lo;
        EXPECT_NEAR(axis.hi, c.expected.hi, 1e-9) << c.hi;
        EXPECT_NEAR(axis.step, c.expected.step, 1e-12) << c.lo;
    }
}

TEST(TrendPlotData, DecimatedLineKeepsTheExtremesOfEveryColumn) {
    std::vector<QPointF> points;
    for (int i = 0; i < 1000; ++i)
        points.emplace_back(i * 0.01, (i % 7) * 1.0 + (i == 500 ? 100.0 : 0.0));
    const std::vector<QPointF> reduced = decimated(points, 1.0);  // 100 points per column
    EXPECT_LE(reduced.size(), 40u);
    EXPECT_EQ(reduced.front(), points.front());
    EXPECT_EQ(reduced.back(), points.back());
    const auto highest = std::max_element(reduced.begin(), reduced.end(),
                                          [](QPointF a, QPointF b) { return a.y() < b.y(); });
    EXPECT_EQ(*highest, points[500]);
    EXPECT_TRUE(std::is_sorted(reduced.begin(), reduced.end(),
                               [](QPointF a, QPointF b) { return a.x() < b.x(); }));
}

// Both measurements start at the command instant, sample 1, whatever their
// periods: a close 45.0 ms after it at 100 us lies 45 samples after it at 1 ms.
// Points at these days of a span, as trendPlotData places them.
TrendPlotData pointsAtDays(const std::vector<double>& days) {
    TrendPlotData data;
    for (double day : days) {
        data.x.push_back((day - days.front()) / (days.back() - days.front()));
        data.dates.push_back("d");
    }
    return data;
}

TEST(TrendPlotData, FirstViewShowsCrowdedNewestMeasurementsApartToScale) {
    struct Case {
        std::vector<double> days;
        bool whole;
    };
    const std::vector<Case> cases = {
        {{0, 300, 600, 900, 1200, 1500}, true},                // evenly apart
        {{0, 400, 800, 1095, 1097, 1099, 1100, 1101}, false},  // five tests in a week of 3 years
        {{0, 1, 2, 3, 4}, true},                               // too few to crowd
    };
    for (const Case& c : cases) {
        const TrendPlotData data = pointsAtDays(c.days);
        const DateView view = readableView(data);
        EXPECT_EQ(view.whole(), c.whole) << c.days.size();
        if (c.whole)
            continue;
        // The newest five take half the view at least, in their true proportions.
        const size_t n = data.x.size();
        const double newest = data.x[n - 1] - data.x[n - 5];
        EXPECT_GE(newest / (view.to - view.from), 0.45);
        EXPECT_LE(view.from, data.x[n - 5]);
        EXPECT_GE(view.to, data.x[n - 1]);
        EXPECT_LE(view.to, 1.0);
    }
}

TEST(TrendPlotData, WheelZoomsAboutThePointerAndStaysInsideTheSpan) {
    const DateView whole;
    const DateView in = zoomedView(whole, 0.75, 2.0);
    EXPECT_DOUBLE_EQ(in.to - in.from, 0.5);
    EXPECT_DOUBLE_EQ(in.from + 0.75 * 0.5, 0.75) << "the date under the pointer stays";
    EXPECT_EQ(zoomedView(in, 0.3, 0.25), whole) << "zoomed out no further than the whole";
    EXPECT_EQ(zoomedView(whole, 1.0, 4.0), (DateView{0.75, 1.0}));
    EXPECT_GT(zoomedView(whole, 0.5, 1e9).to - zoomedView(whole, 0.5, 1e9).from, 0.0);
    const DateView later = pannedView(DateView{0.5, 0.75}, 0.4);
    EXPECT_NEAR(later.from, 0.6, 1e-12);
    EXPECT_NEAR(later.to, 0.85, 1e-12);
    EXPECT_EQ(pannedView(DateView{0.5, 0.75}, 4.0), (DateView{0.75, 1.0}));
    EXPECT_EQ(pannedView(DateView{0.5, 0.75}, -4.0), (DateView{0.0, 0.25}));
    EXPECT_EQ(pannedView(whole, 0.5), whole);
}

TEST(ReferenceOverlay, AlignedAtTheCommandInstantAcrossPeriods) {
    const model::MeasurementRecord shown = test::buildRecord({1, 1, 101, {{47}, {}, {2}}});
    const model::MeasurementRecord reference =
        test::buildRecord({1, 0, 1001, {{451, 461}, {30}, {}}});
    const ReferenceOverlay overlay(shown, reference);
    ASSERT_EQ(overlay.traces().size(), 4u);
    EXPECT_EQ(overlay.traces()[0].edges, (std::vector<double>{46.0, 47.0}));
    EXPECT_EQ(overlay.deltas(),
              (std::vector<std::string>{sj("Δ+1.0ms"), sj("Δ---"), sj("Δ---"), ""}));

    // Past the end of the shown samples the line stops at its last level.
    const std::vector<QPointF> pts = overlay.stepPoints(overlay.traces()[0], 4, 46);
    EXPECT_EQ(pts, (std::vector<QPointF>{{0, 31.0}, {46, 31.0}, {46, 38.8}, {46, 38.8}}));
}

// The judgement page holds the figures, the verdicts and the newest trend rows.
TEST(AnalysisPage, FiguresVerdictAndTrendTables) {
    test::ensureApplication();
    const model::RecordList records = history();
    analysis::Limits limits;
    analysis::setLimit(limits, "close_max_ms", "45");
    const analysis::AnalysisReport report =
        analysis::analyzeFiled(records, 2, limits, std::nullopt);
    const std::unique_ptr<LayoutGrid> page =
        buildAnalysisPage(test::defaultSettings(), {sj("東京"), sj("回路A"), sj("点1")},
                          records.at(2), report, QRectF(50, 50, 2000, 2870));
    const LayoutGrid& figures = *page->cell(0, 3).grid;
    ASSERT_EQ(figures.rows(), 3 + 3);
    EXPECT_EQ(figures.cell(1, 1).text, "42.0");
    EXPECT_EQ(figures.cell(1, 3).text, "---");
    EXPECT_EQ(figures.cell(5, 3).text, sj("不合格"));
    EXPECT_EQ(figures.cell(6, 3).text, sj("接点が動作していません"));
    EXPECT_EQ(figures.cell(5, 1).textColor, verdictColor(analysis::Verdict::Pass));
    EXPECT_EQ(figures.cell(5, 5).text, sj("不合格"));

    const LayoutGrid& trend = *page->cell(0, 9).grid;
    ASSERT_EQ(trend.rows(), 1 + 3);  // the trip is left out
    EXPECT_EQ(trend.cell(0, 1).text, sj("2020/01/01 10:00 基準"));
    EXPECT_EQ(trend.cell(2, 2).text, "42.0 (+2.0)");
    EXPECT_EQ(trend.cell(4, 2).text, "---");
    EXPECT_EQ(trend.cell(2, 3).text, "50.0 (+10.0)");
    EXPECT_EQ(trend.cell(6, 3).text, sj("不合格"));
}

// Eight channels each breaking two limits, long names: the reasons wrap over
// several lines and the overall one names every breach.
struct CrowdedPage {
    model::RecordList records;
    analysis::AnalysisReport report;
    SheetNames names{sj("東京電力株式会社　北関東支社　第二変電所"),
                     sj("66kV 受電用遮断器 52F 主回路"), sj("定期点検　投入動作（操作電圧 定格）")};

    CrowdedPage() {
        std::vector<std::vector<int64_t>> changes;
        for (int64_t ch = 0; ch < 8; ++ch)
            changes.push_back({500 + 7 * ch, 503 + 7 * ch, 505 + 7 * ch, 530 + 9 * ch});
        records.append(test::buildRecord({3, 1, 1001, changes, {}, 0}));
        analysis::Limits limits;
        analysis::setLimit(limits, "close_max_ms", "45.5");
        analysis::setLimit(limits, "bounce_max_ms", "0.5");
        analysis::setLimit(limits, "pole_spread_max_ms", "0.8");
        analysis::setLimit(limits, "pole_group", "1,2,3,4,5,6,7,8");
        report = analysis::analyzeFiled(records, 0, limits, std::nullopt);
    }
};

// Every text ends inside its cell: its wrapped lines are no higher than the
// cell and no line is wider than it.
void expectTextsInsideCells(const LayoutGrid& grid) {
    for (int r = 0; r < grid.rows(); ++r) {
        for (int c = 0; c < grid.columns(); ++c) {
            const GridCell& cell = grid.cell(c, r);
            if (cell.grid)
                expectTextsInsideCells(*cell.grid);
            if (cell.covered || cell.text.empty())
                continue;
            const QRectF rect = grid.cellRect(c, r);
            const QRectF text = QFontMetricsF(cell.font).boundingRect(
                QRectF(0, 0, rect.width() - 16, 1e6), Qt::TextWordWrap, qs(cell.text));
            EXPECT_LE(text.height(), rect.height()) << support::toUtf8(cell.text);
            EXPECT_LE(text.width(), rect.width() - 16 + 0.5) << support::toUtf8(cell.text);
            EXPECT_GE(cell.font.pixelSize(), 20) << support::toUtf8(cell.text);
        }
    }
}

TEST(AnalysisPage, EveryReasonIsWholeInsideItsCell) {
    test::ensureApplication();
    const CrowdedPage crowded;
    const analysis::Judgement& judgement = crowded.report.judgement;
    ASSERT_EQ(judgement.channels.size(), 8u);
    ASSERT_EQ(judgement.verdict, analysis::Verdict::Fail);
    ASSERT_NE(judgement.channels[0].reason.find(sj("バウンス")), std::string::npos);

    const settings::AppSettings settings = test::defaultSettings();
    const QRectF area = printArea(settings, QRectF(0, 0, 2100, 2970));
    const std::unique_ptr<LayoutGrid> page =
        buildAnalysisPage(settings, crowded.names, crowded.records.at(0), crowded.report, area);
    expectTextsInsideCells(*page);
    EXPECT_LE(page->fixedHeight(), area.height());

    test::TempDir dir;
    writeReportPdf(dir.file("page.pdf"), settings, crowded.names, &crowded.records.at(0),
                   &crowded.report);
    const std::string text = test::joined(test::pdfPageText(dir.file("page.pdf"), 2));
    if (text.empty())
        GTEST_SKIP() << "pdftotext not available";
    std::vector<std::string> wanted = {judgement.reason, judgement.poleSpreadReason,
                                       crowded.names.level1, crowded.names.level2,
                                       crowded.names.level3};
    for (const analysis::ChannelVerdict& ch : judgement.channels)
        wanted.push_back(ch.reason);
    for (const std::string& reason : wanted)
        EXPECT_NE(text.find(test::joined(support::toUtf8(reason))), std::string::npos)
            << support::toUtf8(reason);
}

// Too little paper for figures and trend even in the smallest texts: the
// trend continues on a page of its own, every reason still whole.
TEST(AnalysisPage, TrendContinuesOnAFurtherPageWhenThePageIsFull) {
    test::ensureApplication();
    const CrowdedPage crowded;
    settings::AppSettings settings = test::defaultSettings();
    settings.prtBlankTop = 160;  // 13 cm of paper left
    const QRectF area = printArea(settings, QRectF(0, 0, 2100, 2970));
    const std::vector<std::unique_ptr<LayoutGrid>> pages =
        buildAnalysisPages(settings, crowded.names, crowded.records.at(0), crowded.report, area);
    ASSERT_EQ(pages.size(), 2u);
    for (const std::unique_ptr<LayoutGrid>& page : pages) {
        expectTextsInsideCells(*page);
        EXPECT_LE(page->fixedHeight(), area.height());
    }

    test::TempDir dir;
    writeReportPdf(dir.file("page.pdf"), settings, crowded.names, &crowded.records.at(0),
                   &crowded.report);
    const std::string figures = test::joined(test::pdfPageText(dir.file("page.pdf"), 2));
    const std::string trend = test::joined(test::pdfPageText(dir.file("page.pdf"), 3));
    if (figures.empty())
        GTEST_SKIP() << "pdftotext not available";
    EXPECT_NE(figures.find(test::joined(support::toUtf8(crowded.report.judgement.reason))),
              std::string::npos);
    EXPECT_EQ(figures.find(test::joined("傾向（")), std::string::npos);
    EXPECT_NE(trend.find(test::joined("傾向（")), std::string::npos);
    EXPECT_EQ(test::pdfPageText(dir.file("page.pdf"), 4), "");
}

TEST(AnalysisPage, PdfGetsASecondPageOnlyWithTheAnalysis) {
    test::ensureApplication();
    test::TempDir dir;
    const model::RecordList records = history();
    const analysis::AnalysisReport report = analysis::analyzeFiled(records, 0, {}, std::nullopt);
    const SheetNames names{sj("東京"), sj("回路A"), sj("点1")};
    const auto pages = [](const std::string& pdf) {
        size_t count = 0;
        for (size_t at = pdf.find("/Type /Page\n"); at != std::string::npos;
             at = pdf.find("/Type /Page\n", at + 1))
            ++count;
        return count;
    };
    writeReportPdf(dir.file("one.pdf"), test::defaultSettings(), names, &records.at(0));
    writeReportPdf(dir.file("two.pdf"), test::defaultSettings(), names, &records.at(0), &report);
    EXPECT_EQ(pages(test::readFile(dir.file("one.pdf"))), 1u);
    EXPECT_EQ(pages(test::readFile(dir.file("two.pdf"))), 2u);

    writeAnalysisPng(dir.file("two.png"), test::defaultSettings(), names, records.at(0), report);
    const QImage image(QString::fromStdString(dir.file("two.png")));
    EXPECT_EQ(image.size(), QSize(1240, 1754));
}

}  // namespace
}  // namespace plm::chart
