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
constexpr double kCellPadding = 10.0;
constexpr double kNumberWidth = 150.0;
constexpr double kDateWidth = 280.0;
constexpr double kKindWidth = 140.0;
constexpr double kChannelWidth = 105.0;
constexpr double kVerdictWidth = 140.0;

int rowsPerPage(double innerHeight) {
    return std::max(1, static_cast<int>((innerHeight - kTitleHeight - kHeaderHeight) / kRowHeight));
}

// Fixed columns for the number, the date, the kind, the channels and the
// verdict; the three names share what is left.
std::vector<double> columnWidths(const report::BatchSummary& summary, double width) {
    const double verdictWidth = summary.verdictColumn ? kVerdictWidth : 0.0;
    const double fixed = kNumberWidth + kDateWidth + kKindWidth +
                         kChannelWidth * summary.channelColumns + verdictWidth;
    const double nameWidth = std::max(100.0, (width - fixed) / 3.0);
    std::vector<double> widths = {nameWidth,    nameWidth,  nameWidth,
                                  kNumberWidth, kDateWidth, kKindWidth};
    widths.insert(widths.end(), static_cast<size_t>(summary.channelColumns), kChannelWidth);
    if (summary.verdictColumn)
        widths.push_back(verdictWidth);
    return widths;
}

void paintRow(QPainter& painter, const std::vector<std::string>& texts,
              const std::vector<double>& widths, double x, double y, double height,
              const QFontMetricsF& metrics) {
    for (size_t i = 0; i < texts.size() && i < widths.size(); ++i) {
        const QRectF cell(x, y, widths[i], height);
        painter.drawRect(cell);
        const QRectF textRect = cell.adjusted(kCellPadding, 0, -kCellPadding, 0);
        const QString text = metrics.elidedText(qs(texts[i]), Qt::ElideRight, textRect.width());
        // Names left, numbers and times right, as a list is read.
        const Qt::Alignment align = i < 3 ? Qt::AlignLeft : Qt::AlignRight;
        painter.drawText(textRect, align | Qt::AlignVCenter, text);
        x += widths[i];
    }
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

CxException existingFile(const std::string& fsPath) {
    return CxException(
        support::format(support::sj("指定のファイルは既に存在しています\n%s").c_str(),
                        support::fromFsPath(fsPath).c_str()));
}

}  // namespace

int summaryPageCount(const settings::AppSettings& settings, const QSizeF& pageSize,
                     const report::BatchSummary& summary) {
    const int perPage = rowsPerPage(printArea(settings, QRectF(QPointF(), pageSize)).height());
    const int rows = static_cast<int>(summary.rows.size());
    return std::max(1, (rows + perPage - 1) / perPage);
}

void paintSummaryPage(QPainter& painter, const QRectF& pageRect,
                      const settings::AppSettings& settings, const report::BatchSummary& summary,
                      int page) {
    const double ppu = pixelsPerUnit(painter);
    const QRectF inner =
        printArea(settings, QRectF(pageRect.topLeft() / ppu, pageRect.size() / ppu));
    const int perPage = rowsPerPage(inner.height());
    const int pages = summaryPageCount(settings, pageRect.size() / ppu, summary);
    const std::vector<double> widths = columnWidths(summary, inner.width());

    painter.save();
    painter.scale(ppu, ppu);
    painter.setPen(QPen(Qt::black, 1.0 / ppu > 1.0 ? 1.0 / ppu : 1.0));
    painter.setFont(sheetFont(kTitleFont));
    QString title = qs(summary.title);
    if (pages > 1)
        title += QStringLiteral("  (%1/%2)").arg(page + 1).arg(pages);
    painter.drawText(QRectF(inner.left(), inner.top(), inner.width(), kTitleHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, title);

    const QFont font = sheetFont(kTextFont);
    painter.setFont(font);
    // The channel columns hold each channel's operating time.
    painter.drawText(QRectF(inner.left(), inner.top(), inner.width(), kTitleHeight),
                     Qt::AlignRight | Qt::AlignBottom, qs(support::sj("動作時間[ ms ]")));
    const QFontMetricsF metrics(font);
    double y = inner.top() + kTitleHeight;
    painter.setBrush(QColor(230, 230, 230));
    paintRow(painter, summary.header, widths, inner.left(), y, kHeaderHeight, metrics);
    painter.setBrush(Qt::NoBrush);
    y += kHeaderHeight;
    const size_t first = static_cast<size_t>(page) * static_cast<size_t>(perPage);
    const size_t last = std::min(summary.rows.size(), first + static_cast<size_t>(perPage));
    for (size_t r = first; r < last; ++r, y += kRowHeight)
        paintRow(painter, summary.rows[r], widths, inner.left(), y, kRowHeight, metrics);
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
            throw existingFile(fsPath);
        throw writeFailure(fsPath);
    }
    return true;
}

}  // namespace plm::chart
