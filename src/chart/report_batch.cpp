#include "chart/report_batch.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <system_error>

#include "analysis/analysis_report.h"
#include "analysis/batch_verdicts.h"
#include "analysis/verdict.h"
#include "chart/analysis_page.h"
#include "chart/qt_text.h"
#include "chart/report_page.h"
#include "chart/test_sheet.h"
#include "support/cx_exception.h"
#include "support/paths.h"
#include "support/staged_file.h"
#include "support/text_codec.h"

namespace plm::chart {
namespace {

// The summary table, in 0.1 mm.
constexpr double kTitleHeight = 100.0;
constexpr double kTitleFont = 50.0;
constexpr double kHeaderHeight = 60.0;
constexpr double kRowHeight = 50.0;
constexpr double kTextFont = 28.0;
constexpr double kMinTextFont = 20.0;  // 2 mm, still read on paper
constexpr double kCellPadding = 10.0;
constexpr double kLineMargin = 6.0;  // above and below wrapped lines
constexpr double kMinNameWidth = 150.0;
constexpr int kNameColumns = 3;
// Held back from every width so that a device whose glyphs come out
// slightly wider still holds every line.
constexpr double kWidthReserve = 1.06;

// Where every column, row and page of the summary goes.
struct SummaryLayout {
    QFont font;
    std::vector<double> widths;
    double headerHeight = kHeaderHeight;
    std::vector<double> rowHeights;
    std::vector<size_t> pageStarts;  // the first row of every page
};

Qt::Alignment columnAlignment(size_t column, const report::BatchSummary& summary) {
    // Names left, numbers and times right, as a list is read; the verdict centred.
    if (column < kNameColumns)
        return Qt::AlignLeft;
    if (summary.verdictColumn && column + 1 == summary.header.size())
        return Qt::AlignHCenter;
    return Qt::AlignRight;
}

// The widest text of every column, its padding included.
std::vector<double> contentWidths(const report::BatchSummary& summary,
                                  const QFontMetricsF& metrics) {
    std::vector<double> widths(summary.header.size(), 0.0);
    auto widen = [&](const std::vector<std::string>& texts) {
        for (size_t i = 0; i < texts.size() && i < widths.size(); ++i)
            widths[i] =
                std::max(widths[i], metrics.horizontalAdvance(qs(texts[i])) * kWidthReserve +
                                        2 * kCellPadding);
    };
    widen(summary.header);
    for (const std::vector<std::string>& row : summary.rows)
        widen(row);
    return widths;
}

// Every column as wide as its content; room left over goes to the names,
// and when the page is too narrow the names give way first (they wrap).
// Empty when even the names at their narrowest leave no room.
std::vector<double> fittedWidths(const report::BatchSummary& summary, const QFontMetricsF& metrics,
                                 double width) {
    std::vector<double> widths = contentWidths(summary, metrics);
    const size_t names = std::min<size_t>(kNameColumns, widths.size());
    double others = 0.0;
    double content = 0.0;
    for (size_t i = 0; i < widths.size(); ++i)
        (i < names ? content : others) += widths[i];
    const double room = width - others;
    if (names == 0 || room >= content) {
        for (size_t i = 0; i < names; ++i)
            widths[i] += (room - content) / static_cast<double>(names);
        return widths;
    }
    if (room < kMinNameWidth * static_cast<double>(names))
        return {};
    // Names narrower than their share keep their width, the others share the rest.
    std::vector<bool> fixed(names, false);
    double share = room;
    for (bool changed = true; changed;) {
        changed = false;
        size_t open = 0;
        double left = room;
        for (size_t i = 0; i < names; ++i) {
            if (fixed[i])
                left -= widths[i];
            else
                ++open;
        }
        share = open ? left / static_cast<double>(open) : 0.0;
        for (size_t i = 0; i < names; ++i) {
            if (!fixed[i] && widths[i] <= share) {
                fixed[i] = true;
                changed = true;
            }
        }
    }
    for (size_t i = 0; i < names; ++i) {
        if (!fixed[i])
            widths[i] = share;
    }
    return widths;
}

double rowHeight(const std::vector<std::string>& texts, const std::vector<double>& widths,
                 const QFontMetricsF& metrics, double least) {
    double height = least;
    for (size_t i = 0; i < texts.size() && i < widths.size(); ++i) {
        const double width = (widths[i] - 2 * kCellPadding) / kWidthReserve;
        const QRectF needed =
            metrics.boundingRect(QRectF(0, 0, width, 1e6), Qt::TextWordWrap, qs(texts[i]));
        height = std::max(height, needed.height() + 2 * kLineMargin);
    }
    return height;
}

// The largest text size down to kMinTextFont whose columns fit the width
// and whose every row fits a page; the rows then fill the pages in turn.
SummaryLayout summaryLayout(const report::BatchSummary& summary, const QRectF& inner) {
    SummaryLayout layout;
    const double tableHeight = std::max(kRowHeight, inner.height() - kTitleHeight);
    for (double size = kTextFont;; size -= 1.0) {
        layout.font = sheetFont(size);
        const QFontMetricsF metrics(layout.font);
        layout.widths = fittedWidths(summary, metrics, inner.width());
        const bool narrow = layout.widths.size() < summary.header.size();
        if (narrow && size > kMinTextFont)
            continue;
        if (narrow)
            layout.widths.assign(summary.header.size(),
                                 inner.width() / std::max<double>(1.0, summary.header.size()));
        layout.headerHeight = rowHeight(summary.header, layout.widths, metrics, kHeaderHeight);
        layout.rowHeights.clear();
        double tallest = 0.0;
        for (const std::vector<std::string>& row : summary.rows) {
            layout.rowHeights.push_back(rowHeight(row, layout.widths, metrics, kRowHeight));
            tallest = std::max(tallest, layout.rowHeights.back());
        }
        if (size <= kMinTextFont || layout.headerHeight + tallest <= tableHeight)
            break;
    }
    layout.pageStarts = {0};
    double used = layout.headerHeight;
    for (size_t r = 0; r < layout.rowHeights.size(); ++r) {
        if (used + layout.rowHeights[r] > tableHeight && r > layout.pageStarts.back()) {
            layout.pageStarts.push_back(r);
            used = layout.headerHeight;
        }
        used += layout.rowHeights[r];
    }
    return layout;
}

// Pass and fail in the colours the screen shows them in, bold as there, so
// that they stay apart also printed in black and white.
void styleVerdict(QPainter& painter, const std::string& text, const QFont& font) {
    for (const analysis::Verdict verdict : {analysis::Verdict::Pass, analysis::Verdict::Fail}) {
        if (text == analysis::verdictText(verdict)) {
            QFont bold = font;
            bold.setBold(true);
            painter.setFont(bold);
            painter.setPen(verdictColor(verdict));
        }
    }
}

void paintRow(QPainter& painter, const report::BatchSummary& summary,
              const std::vector<std::string>& texts, const SummaryLayout& layout, double x,
              double y, double height) {
    const QPen line = painter.pen();
    for (size_t i = 0; i < texts.size() && i < layout.widths.size(); ++i) {
        const QRectF cell(x, y, layout.widths[i], height);
        painter.setPen(line);
        painter.drawRect(cell);
        const QRectF textRect = cell.adjusted(kCellPadding, 0, -kCellPadding, 0);
        painter.save();
        painter.setFont(layout.font);
        if (summary.verdictColumn && i + 1 == summary.header.size() && &texts != &summary.header)
            styleVerdict(painter, texts[i], layout.font);
        painter.drawText(textRect,
                         columnAlignment(i, summary) | Qt::AlignVCenter | Qt::TextWordWrap,
                         qs(texts[i]));
        painter.restore();
        x += layout.widths[i];
    }
    painter.setPen(line);
}

std::vector<std::string> verdictTexts(const std::vector<report::BatchItem>& items,
                                      const analysis::LimitsBook& limits) {
    std::vector<std::string> texts;
    for (const analysis::Verdict verdict : analysis::judgeBatch(items, limits))
        texts.push_back(analysis::verdictText(verdict));
    return texts;
}

// The judgement of one measurement with the trend of its name; a batch put
// together without the name's list shows the measurement alone in it.
analysis::AnalysisReport judgementOf(const report::BatchItem& item,
                                     const analysis::LimitsBook& book) {
    if (item.records)
        return analysis::analyzeFiled(*item.records, item.index, book, item.level1, item.level2,
                                      item.level3);
    model::RecordList alone;
    alone.append(*item.record);
    return analysis::analyzeFiled(alone, 0, book, item.level1, item.level2, item.level3);
}

CxException writeFailure(const std::string& fsPath) {
    return CxException(support::format("OpenError\n%s", support::fromFsPath(fsPath).c_str()));
}

}  // namespace

int summaryPageCount(const settings::AppSettings& settings, const QSizeF& pageSize,
                     const report::BatchSummary& summary) {
    const QRectF inner = printArea(settings, QRectF(QPointF(), pageSize));
    return static_cast<int>(summaryLayout(summary, inner).pageStarts.size());
}

void paintSummaryPage(QPainter& painter, const QRectF& pageRect,
                      const settings::AppSettings& settings, const report::BatchSummary& summary,
                      int page) {
    const double ppu = pixelsPerUnit(painter);
    const QRectF inner =
        printArea(settings, QRectF(pageRect.topLeft() / ppu, pageRect.size() / ppu));
    const SummaryLayout layout = summaryLayout(summary, inner);
    const int pages = static_cast<int>(layout.pageStarts.size());

    painter.save();
    painter.scale(ppu, ppu);
    painter.setPen(QPen(Qt::black, 1.0 / ppu > 1.0 ? 1.0 / ppu : 1.0));
    painter.setFont(sheetFont(kTitleFont));
    QString title = qs(summary.title);
    if (pages > 1)
        title += QStringLiteral("  (%1/%2)").arg(page + 1).arg(pages);
    painter.drawText(QRectF(inner.left(), inner.top(), inner.width(), kTitleHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, title);

    painter.setFont(layout.font);
    // The channel columns hold each channel's operating time.
    painter.drawText(QRectF(inner.left(), inner.top(), inner.width(), kTitleHeight),
                     Qt::AlignRight | Qt::AlignBottom, qs(support::sj("動作時間[ ms ]")));
    double y = inner.top() + kTitleHeight;
    painter.setBrush(QColor(230, 230, 230));
    paintRow(painter, summary, summary.header, layout, inner.left(), y, layout.headerHeight);
    painter.setBrush(Qt::NoBrush);
    y += layout.headerHeight;
    if (page >= 0 && page < pages) {
        const size_t first = layout.pageStarts[static_cast<size_t>(page)];
        const size_t last = page + 1 < pages ? layout.pageStarts[static_cast<size_t>(page) + 1]
                                             : summary.rows.size();
        for (size_t r = first; r < last; ++r) {
            paintRow(painter, summary, summary.rows[r], layout, inner.left(), y,
                     layout.rowHeights[r]);
            y += layout.rowHeights[r];
        }
    }
    painter.restore();
}

bool paintBatchReport(QPainter& painter, QPagedPaintDevice& device, const QRectF& pageRect,
                      const settings::AppSettings& settings,
                      const std::vector<report::BatchItem>& items,
                      const analysis::LimitsBook* summaryLimits,
                      const report::BatchProgress& progress,
                      const analysis::LimitsBook* judgementLimits) {
    bool firstPage = true;
    auto startPage = [&] {
        if (!firstPage)
            device.newPage();
        firstPage = false;
    };
    if (summaryLimits) {
        const report::BatchSummary table =
            report::batchSummary(settings, items, verdictTexts(items, *summaryLimits));
        const double ppu = pixelsPerUnit(painter);
        const int pages = summaryPageCount(settings, pageRect.size() / ppu, table);
        for (int page = 0; page < pages; ++page) {
            startPage();
            paintSummaryPage(painter, pageRect, settings, table, page);
        }
    }
    const int total = static_cast<int>(items.size());
    for (int i = 0; i < total; ++i) {
        const report::BatchItem& item = items[static_cast<size_t>(i)];
        if (progress && !progress(i, total, item))
            return false;
        startPage();
        const SheetNames names{item.level1, item.level2, item.level3};
        paintReportPage(painter, pageRect, settings, names, item.record);
        if (judgementLimits) {
            startPage();
            paintAnalysisPage(painter, pageRect, settings, names, *item.record,
                              judgementOf(item, *judgementLimits));
        }
    }
    return true;
}

bool writeBatchReportPdf(const std::string& fsPath, const settings::AppSettings& settings,
                         const std::vector<report::BatchItem>& items,
                         const analysis::LimitsBook* summaryLimits, bool overwrite,
                         const report::BatchProgress& progress,
                         const analysis::LimitsBook* judgementLimits) {
    requireA4PrintArea(settings);
    std::unique_ptr<support::StagedFile> file;
    try {
        file = std::make_unique<support::StagedFile>(fsPath);
        file->closeFd();
    } catch (const std::system_error&) {
        throw writeFailure(fsPath);
    }
    {
        QPdfWriter writer(QString::fromStdString(file->tempPath()));
        writer.setPageLayout(
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
        writer.setResolution(1200);
        writer.setTitle(QString::fromStdString(support::toUtf8(settings.printTitle)));
        QPainter painter;
        if (!painter.begin(&writer))
            throw writeFailure(fsPath);
        const QRectF page(0, 0, writer.width(), writer.height());
        if (!paintBatchReport(painter, writer, page, settings, items, summaryLimits, progress,
                              judgementLimits))
            return false;
        if (!painter.end())
            throw writeFailure(fsPath);
    }
    try {
        file->commit(overwrite);
    } catch (const std::system_error& e) {
        if (e.code() == std::errc::file_exists)
            throw existingOutput(fsPath);
        throw writeFailure(fsPath);
    }
    return true;
}

}  // namespace plm::chart
