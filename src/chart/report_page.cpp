#include "chart/report_page.h"
#include "chart/qt_text.h"

#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <cmath>

#include "chart/analysis_page.h"
#include "support/cx_exception.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::chart {
namespace {

constexpr double kA4WidthMm = 210.0;
constexpr double kA4HeightMm = 297.0;

CxException writeFailure(const std::string& fsPath) {
    return CxException(support::format("OpenError\n%s", support::fromFsPath(fsPath).c_str()));
}

}  // namespace

void paintReportPage(QPainter& painter, const QRectF& pageRect,
                     const settings::AppSettings& settings, const SheetNames& names,
                     const model::MeasurementRecord* record) {
    if (!record)
        return;
    TestSheet sheet(TestSheet::Target::Print);
    sheet.rebuild(settings, names, record);
    const double ppu = pixelsPerUnit(painter);
    const QRectF inner =
        printArea(settings, QRectF(pageRect.topLeft() / ppu, pageRect.size() / ppu));
    painter.save();
    painter.scale(ppu, ppu);
    sheet.paintUnits(painter, inner, PaintContext{1.0 / ppu, std::nullopt});
    painter.restore();
}

void writeReportPdf(const std::string& fsPath, const settings::AppSettings& settings,
                    const SheetNames& names, const model::MeasurementRecord* record,
                    const analysis::AnalysisReport* analysis) {
    QPdfWriter writer(QString::fromStdString(fsPath));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    writer.setResolution(1200);
    writer.setTitle(qs(settings.printTitle));
    QPainter painter;
    if (!painter.begin(&writer))
        throw writeFailure(fsPath);
    const QRectF page(0, 0, writer.width(), writer.height());
    paintReportPage(painter, page, settings, names, record);
    if (analysis && record) {
        if (!writer.newPage())
            throw writeFailure(fsPath);
        paintAnalysisPage(painter, page, settings, names, *record, *analysis);
    }
    if (!painter.end())
        throw writeFailure(fsPath);
    const QFileInfo written(QString::fromStdString(fsPath));
    if (!written.exists() || written.size() == 0)
        throw writeFailure(fsPath);
}

namespace {

// An A4 page at `dpi`, painted by `paint` into the whole image, saved as PNG.
template <typename Paint>
void writePagePng(const std::string& fsPath, int dpi, const Paint& paint) {
    const int width = static_cast<int>(std::lround(kA4WidthMm / 25.4 * dpi));
    const int height = static_cast<int>(std::lround(kA4HeightMm / 25.4 * dpi));
    QImage image(width, height, QImage::Format_RGB32);
    const int dotsPerMeter = static_cast<int>(std::lround(dpi / 0.0254));
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        paint(painter, QRectF(0, 0, width, height));
    }
    if (!image.save(QString::fromStdString(fsPath), "PNG"))
        throw writeFailure(fsPath);
}

}  // namespace

void writeReportPng(const std::string& fsPath, const settings::AppSettings& settings,
                    const SheetNames& names, const model::MeasurementRecord* record, int dpi) {
    writePagePng(fsPath, dpi, [&](QPainter& painter, const QRectF& page) {
        paintReportPage(painter, page, settings, names, record);
    });
}

void writeAnalysisPng(const std::string& fsPath, const settings::AppSettings& settings,
                      const SheetNames& names, const model::MeasurementRecord& record,
                      const analysis::AnalysisReport& analysis, int dpi) {
    writePagePng(fsPath, dpi, [&](QPainter& painter, const QRectF& page) {
        paintAnalysisPage(painter, page, settings, names, record, analysis);
    });
}

}  // namespace plm::chart
