#include "chart/analysis_page.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "chart/qt_text.h"

#include "chart/trend_plot.h"
#include "support/text_codec.h"

namespace plm::chart {
namespace {

using analysis::msFromMicros;
using support::format;
using support::sj;

const QColor kLabelFill(235, 235, 235);
const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
constexpr double kFontSize = 28.0;
constexpr double kRow = 40.0;
constexpr size_t kTrendRows = 10;  // the newest measurements in the table
// Texts shrink no further than this (2 mm) to fit the page, and the trend
// plot keeps at least kMinPlot of it.
constexpr double kMinFontSize = 20.0;
constexpr double kMinPlot = 400.0;
// Room above and below wrapped lines, and a little width held back so that
// a device whose glyphs come out slightly wider still holds every line.
constexpr double kTextMargin = 6.0;
constexpr double kWidthReserve = 0.94;

void style(GridCell& cell, bool label, int align = Qt::AlignCenter) {
    cell.fill = label ? kLabelFill : kWhite;
    cell.textColor = kBlack;
    cell.border.fill(kBlack);
    cell.font = sheetFont(kFontSize);
    cell.align = align | Qt::AlignVCenter | Qt::TextWordWrap;
}

LayoutGrid& table(LayoutGrid& page, int row, int columns, int rows) {
    LayoutGrid& t = page.nest(0, row, columns, rows);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c)
            style(t.cell(c, r), r == 0);
    }
    t.setFrame(kBlack);
    return t;
}

void put(LayoutGrid& t, int col, int row, const std::string& text, bool label = false,
         int align = Qt::AlignCenter) {
    GridCell& cell = t.cell(col, row);
    style(cell, label, align);
    cell.text = text;
}

void putVerdict(LayoutGrid& t, int col, int row, analysis::Verdict verdict) {
    put(t, col, row, analysis::verdictText(verdict));
    t.cell(col, row).textColor = verdictColor(verdict);
}

std::string msText(const std::optional<int64_t>& us) {
    return us ? msFromMicros(*us) : std::string("---");
}

std::string deltaText(const std::optional<int64_t>& us) {
    if (!us)
        return {};
    return (*us > 0 ? "+" : "") + msFromMicros(*us);
}

void buildTitle(LayoutGrid& page, int row, const settings::AppSettings& settings) {
    LayoutGrid& t = page.nest(0, row, 1, 1);
    GridCell& cell = t.cell(0, 0);
    cell.text = settings.printTitle + sj("　判定結果");
    cell.font = sheetFont(45.0);
    cell.align = Qt::AlignCenter | Qt::TextWordWrap;
    t.setFrame(QColor());
}

void buildHeader(LayoutGrid& page, int row, const settings::AppSettings& settings,
                 const SheetNames& names, const model::MeasurementRecord& record) {
    LayoutGrid& t = table(page, row, 6, 2);
    const std::string cells[2][6] = {
        {settings.itemName1, names.level1, settings.itemName2, names.level2, settings.itemName3,
         names.level3},
        {sj("データ№"), record.dataNoText(), sj("試験日時"), record.testDateTimeText(),
         sj("測定種別"), record.measureTypeText()}};
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 6; ++c)
            put(t, c, r, cells[r][c], c % 2 == 0, Qt::AlignLeft);
    }
    for (int c = 0; c < 5; ++c)
        t.setColumnWidth(c, Extent::percent(c % 2 == 0 ? 13.0 : 20.0));
}

void buildFigures(LayoutGrid& page, int row, const analysis::AnalysisReport& report) {
    const auto& channels = report.figures.channels;
    const int rows = static_cast<int>(channels.size()) + 3;
    LayoutGrid& t = table(page, row, 7, rows);
    const char* heads[] = {"CH",       "動作時間[ms]", "変化回数", "バウンス[ms]",
                           "最終状態", "判定",         "理由"};
    const double widths[] = {7.0, 12.0, 9.0, 12.0, 9.0, 9.0};
    for (int c = 0; c < 7; ++c) {
        put(t, c, 0, sj(heads[c]), true);
        if (c < 6)
            t.setColumnWidth(c, Extent::percent(widths[c]));
    }
    for (size_t i = 0; i < channels.size(); ++i) {
        const analysis::ChannelFigures& ch = channels[i];
        const int r = static_cast<int>(i) + 1;
        put(t, 0, r, std::to_string(ch.channel), true);
        put(t, 1, r, msText(ch.operatingUs));
        put(t, 2, r, std::to_string(ch.changes));
        put(t, 3, r, msText(ch.bounceUs));
        put(t, 4, r, ch.finalOn ? (*ch.finalOn ? "ON" : "OFF") : "---");
        putVerdict(t, 5, r, report.judgement.channels[i].verdict);
        put(t, 6, r, report.judgement.channels[i].reason, false, Qt::AlignLeft);
    }
    const int spreadRow = rows - 2;
    put(t, 0, spreadRow, sj("極間差"), true);
    put(t, 1, spreadRow, msText(report.figures.poleSpreadUs));
    t.merge(2, spreadRow, 4, spreadRow);
    putVerdict(t, 5, spreadRow, report.judgement.poleSpread);
    put(t, 6, spreadRow, report.judgement.poleSpreadReason, false, Qt::AlignLeft);
    t.merge(0, rows - 1, 4, rows - 1);
    put(t, 0, rows - 1, sj("総合判定"), true);
    putVerdict(t, 5, rows - 1, report.judgement.verdict);
    put(t, 6, rows - 1, report.judgement.reason, false, Qt::AlignLeft);
    for (int r = 0; r < rows; ++r)
        t.setRowHeight(r, Extent::fixed(kRow));
}

void buildLimits(LayoutGrid& page, int row, const analysis::Limits& limits) {
    LayoutGrid& t = table(page, row, 7, 2);
    const char* heads[] = {"投入 下限[ms]",   "投入 上限[ms]",     "遮断 下限[ms]", "遮断 上限[ms]",
                           "極間差 上限[ms]", "バウンス 上限[ms]", "極グループ"};
    for (int c = 0; c < 7; ++c) {
        put(t, c, 0, sj(heads[c]), true);
        const std::string& key = analysis::limitKeys()[static_cast<size_t>(c)];
        std::string value = analysis::limitText(limits, key);
        if (key == "pole_group" && value.empty())
            value = sj("1,2,3 (既定)");
        put(t, c, 1, value.empty() ? std::string("---") : value);
    }
}

std::string kindText(bool closes) {
    return closes ? sj("投入") : sj("遮断");
}

// The newest measurements of the kind shown, with their differences to the reference.
void buildTrendTable(LayoutGrid& page, int row, const analysis::AnalysisReport& report,
                     const std::vector<int>& poles, bool closes) {
    const analysis::Trend& trend = report.trend;
    std::vector<size_t> shown;
    for (size_t i = trend.entries.size(); i-- > 0 && shown.size() < kTrendRows;) {
        if ((trend.entries[i].measureType == 0) == closes)
            shown.insert(shown.begin(), i);
    }
    const int columns = 3 + static_cast<int>(poles.size()) + 1;
    LayoutGrid& t = table(page, row, columns, static_cast<int>(shown.size()) + 1);
    put(t, 0, 0, sj("試験日時"), true);
    put(t, 1, 0, sj("データ№"), true);
    for (size_t k = 0; k < poles.size(); ++k)
        put(t, 2 + static_cast<int>(k), 0, format(sj("CH%d [ms] (差)").c_str(), poles[k]), true);
    put(t, columns - 2, 0, sj("極間差[ms] (差)"), true);
    put(t, columns - 1, 0, sj("判定"), true);
    t.setColumnWidth(0, Extent::percent(18.0));
    t.setColumnWidth(1, Extent::percent(8.0));
    t.setColumnWidth(columns - 1, Extent::percent(9.0));
    for (size_t j = 0; j < shown.size(); ++j) {
        const size_t i = shown[j];
        const analysis::TrendEntry& e = trend.entries[i];
        const int r = static_cast<int>(j) + 1;
        std::string date = analysis::trendDateText(e);
        if (static_cast<int>(i) == trend.reference)
            date += sj(" 基準");
        put(t, 0, r, date, false, Qt::AlignLeft);
        put(t, 1, r, std::to_string(e.dataNo));
        for (size_t k = 0; k < poles.size(); ++k) {
            const size_t c = static_cast<size_t>(poles[k] - 1);
            const std::string value =
                c < e.operatingUs.size() ? msText(e.operatingUs[c]) : std::string("---");
            const std::string delta = deltaText(trend.operatingDelta(i, c));
            put(t, 2 + static_cast<int>(k), r, value + (delta.empty() ? "" : " (" + delta + ")"));
        }
        const std::string spreadDelta = deltaText(trend.spreadDelta(i));
        put(t, columns - 2, r,
            msText(e.poleSpreadUs) + (spreadDelta.empty() ? "" : " (" + spreadDelta + ")"));
        putVerdict(t, columns - 1, r, e.verdict);
        if (static_cast<int>(i) == report.shownEntry) {
            for (int c = 0; c < columns; ++c)
                t.cell(c, r).fill = QColor(255, 240, 215);
        }
    }
}

void caption(LayoutGrid& page, int row, const std::string& text) {
    LayoutGrid& t = page.nest(0, row, 1, 1);
    GridCell& cell = t.cell(0, 0);
    cell.text = text;
    cell.font = sheetFont(kFontSize);
    cell.align = Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap;
    // No frame: a white one would paint over the table above.
    t.setFrame(QColor());
}

// Every text of the page at `size` in place of the designed kFontSize, the
// title in proportion.
void scaleTexts(LayoutGrid& grid, double size) {
    for (int r = 0; r < grid.rows(); ++r) {
        for (int c = 0; c < grid.columns(); ++c) {
            GridCell& cell = grid.cell(c, r);
            if (cell.grid)
                scaleTexts(*cell.grid, size);
            if (!cell.text.empty())
                cell.font = sheetFont(cell.font.pixelSize() * size / kFontSize);
        }
    }
}

struct TextFit {
    double height = 0.0;
    bool wide = true;  // every line holds in its cell's width
};

// The height a cell's text takes wrapped inside the laid out cell.
TextFit fitCell(const GridCell& cell, const QRectF& rect) {
    const double pad = std::min(8.0, rect.width() / 4);
    const double width = std::max(1.0, (rect.width() - 2 * pad) * kWidthReserve);
    const QFontMetricsF metrics(cell.font);
    const QRectF needed = metrics.boundingRect(QRectF(0, 0, width, 1e6),
                                               cell.align & ~Qt::AlignVertical_Mask, qs(cell.text));
    return {needed.height() + 2 * kTextMargin, needed.width() <= width + 0.5};
}

// Grows the fixed rows of a laid out table until each of its texts wraps
// whole inside its cell; returns the height the table then needs.
TextFit growRows(LayoutGrid& t) {
    TextFit total;
    for (int r = 0; r < t.rows(); ++r) {
        double needed = 0.0;
        for (int c = 0; c < t.columns(); ++c) {
            const GridCell& cell = t.cell(c, r);
            if (cell.covered || cell.rowSpan > 1 || cell.text.empty())
                continue;
            const TextFit fit = fitCell(cell, t.cellRect(c, r));
            needed = std::max(needed, fit.height);
            total.wide = total.wide && fit.wide;
        }
        // A row that shares its table's height keeps at least its share.
        const Extent& extent = t.rowHeight(r);
        const double current =
            extent.kind == Extent::Kind::Fixed ? extent.value : t.cellRect(0, r).height();
        needed = std::max(needed, current);
        t.setRowHeight(r, Extent::fixed(needed));
        total.height += needed;
    }
    return total;
}

// Lays the page out in `area`, every table as high as its texts need.
bool fitTables(LayoutGrid& page, const QRectF& area) {
    page.layout(area);
    bool wide = true;
    for (int r = 0; r < page.rows(); ++r) {
        GridCell& cell = page.cell(0, r);
        if (!cell.grid)
            continue;
        const TextFit fit = growRows(*cell.grid);
        wide = wide && fit.wide;
        const Extent& extent = page.rowHeight(r);
        if (extent.kind == Extent::Kind::Fixed && fit.height > extent.value)
            page.setRowHeight(r, Extent::fixed(fit.height));
    }
    page.layout(area);
    return wide;
}

}  // namespace

QColor verdictColor(analysis::Verdict verdict) {
    switch (verdict) {
        case analysis::Verdict::Pass:
            return QColor(0, 130, 40);
        case analysis::Verdict::Fail:
            return QColor(210, 0, 0);
        default:
            return QColor(90, 90, 90);
    }
}

namespace {

std::unique_ptr<LayoutGrid> buildPage(const settings::AppSettings& settings,
                                      const SheetNames& names,
                                      const model::MeasurementRecord& record,
                                      const analysis::AnalysisReport& report) {
    const bool closes = record.measureType == 0;
    const std::vector<int> poles = report.limits.poleGroupOrDefault();
    size_t ofKind = 0;
    for (const analysis::TrendEntry& e : report.trend.entries)
        ofKind += (e.measureType == 0) == closes ? 1 : 0;
    const size_t trendRows = std::min(ofKind, kTrendRows);

    auto page = std::make_unique<LayoutGrid>(1, 11);
    const double heights[] = {60.0, 80.0,
                              20.0, kRow * static_cast<double>(report.figures.channels.size() + 3),
                              20.0, 80.0,
                              50.0, -1.0,
                              10.0, kRow * static_cast<double>(trendRows + 1),
                              0.0};
    for (int r = 0; r < 11; ++r)
        page->setRowHeight(r, heights[r] < 0 ? Extent::rest() : Extent::fixed(heights[r]));
    buildTitle(*page, 0, settings);
    buildHeader(*page, 1, settings, names, record);
    buildFigures(*page, 3, report);
    buildLimits(*page, 5, report.limits);
    caption(*page, 6,
            format(sj("傾向（%s、%sの測定 %zu 件。表は新しい %zu 件、(差) は基準との差）").c_str(),
                   names.level3.c_str(), kindText(closes).c_str(), ofKind, trendRows));
    page->cell(0, 7).block = std::make_shared<TrendPlot>(
        trendPlotData(report.trend, report.limits, closes, poles, report.shownEntry));
    buildTrendTable(*page, 9, report, poles, closes);
    return page;
}

// Rows of the page: the measurement's figures and limits, and its trend.
const std::vector<int> kFigureRows = {1, 2, 3, 4, 5};
const std::vector<int> kTrendRowsOfPage = {6, 7, 8, 9};
constexpr int kPlotRow = 7;

// The page without `left` rows, its texts as large as lets the rest fit.
std::unique_ptr<LayoutGrid> fittedPage(const settings::AppSettings& settings,
                                       const SheetNames& names,
                                       const model::MeasurementRecord& record,
                                       const analysis::AnalysisReport& report, const QRectF& area,
                                       const std::vector<int>& left) {
    const bool plot = std::find(left.begin(), left.end(), kPlotRow) == left.end();
    for (double size = kFontSize;; size -= 1.0) {
        std::unique_ptr<LayoutGrid> page = buildPage(settings, names, record, report);
        for (const int r : left) {
            page->setRowHeight(r, Extent::fixed(0.0));
            page->cell(0, r) = GridCell();
        }
        if (size < kFontSize)
            scaleTexts(*page, size);
        const bool wide = fitTables(*page, area);
        const double room = area.height() - (plot ? kMinPlot : 0.0);
        if (size <= kMinFontSize || (wide && page->fixedHeight() <= room))
            return page;
    }
}

}  // namespace

std::unique_ptr<LayoutGrid> buildAnalysisPage(const settings::AppSettings& settings,
                                              const SheetNames& names,
                                              const model::MeasurementRecord& record,
                                              const analysis::AnalysisReport& report,
                                              const QRectF& area) {
    return fittedPage(settings, names, record, report, area, {});
}

std::vector<std::unique_ptr<LayoutGrid>> buildAnalysisPages(const settings::AppSettings& settings,
                                                            const SheetNames& names,
                                                            const model::MeasurementRecord& record,
                                                            const analysis::AnalysisReport& report,
                                                            const QRectF& area) {
    std::vector<std::unique_ptr<LayoutGrid>> pages;
    pages.push_back(buildAnalysisPage(settings, names, record, report, area));
    if (pages.front()->fixedHeight() + kMinPlot <= area.height())
        return pages;
    pages.front() = fittedPage(settings, names, record, report, area, kTrendRowsOfPage);
    pages.push_back(fittedPage(settings, names, record, report, area, kFigureRows));
    return pages;
}

void paintAnalysisPage(QPainter& painter, const QRectF& pageRect,
                       const settings::AppSettings& settings, const SheetNames& names,
                       const model::MeasurementRecord& record,
                       const analysis::AnalysisReport& report) {
    const double ppu = pixelsPerUnit(painter);
    const QRectF inner =
        printArea(settings, QRectF(pageRect.topLeft() / ppu, pageRect.size() / ppu));
    const std::vector<std::unique_ptr<LayoutGrid>> pages =
        buildAnalysisPages(settings, names, record, report, inner);
    auto* paged = dynamic_cast<QPagedPaintDevice*>(painter.device());
    for (size_t i = 0; i < pages.size(); ++i) {
        if (i > 0 && (!paged || !paged->newPage()))
            break;
        painter.save();
        painter.scale(ppu, ppu);
        pages[i]->paint(painter, PaintContext{1.0 / ppu, std::nullopt});
        painter.restore();
    }
}

}  // namespace plm::chart
