#include "chart/report_page.h"
#include "chart/qt_text.h"

#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <cmath>
#include <cstdint>
#include <memory>
#include <system_error>

#include "chart/analysis_page.h"
#include "support/cx_exception.h"
#include "support/paths.h"
#include "support/staged_file.h"
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

std::string marginProblem(const settings::AppSettings& settings, const QSizeF& pageMm) {
    // Sums in 64 bits: the settings hold any int the file gives.
    const auto leavesNoRoom = [](int64_t a, int64_t b, double extent) {
        return static_cast<double>(a + b) >= extent;
    };
    std::string keys;
    if (leavesNoRoom(settings.prtBlankLeft, settings.prtBlankRight, pageMm.width()))
        keys += support::format(" PrtBlankLeft=%d PrtBlankRight=%d", settings.prtBlankLeft,
                                settings.prtBlankRight);
    if (leavesNoRoom(settings.prtBlankTop, settings.prtBlankBottom, pageMm.height()))
        keys += support::format(" PrtBlankTop=%d PrtBlankBottom=%d", settings.prtBlankTop,
                                settings.prtBlankBottom);
    if (keys.empty())
        return {};
    return support::format(
        support::sj("印刷の余白が大きすぎて印刷できる範囲がありません\n[Param]%s (mm)").c_str(),
        keys.c_str());
}

void requireA4PrintArea(const settings::AppSettings& settings) {
    const std::string problem = marginProblem(settings, QSizeF(kA4WidthMm, kA4HeightMm));
    if (!problem.empty())
        throw CxException(problem);
}

CxException existingOutput(const std::string& fsPath) {
    return CxException(
        support::format(support::sj("指定のファイルは既に存在しています\n%s").c_str(),
                        support::fromFsPath(fsPath).c_str()));
}

namespace {

// Runs `write` on a temporary file beside fsPath (a writer that opens files
// by name) and puts the file at fsPath once it is whole.
template <typename Write>
void writeStaged(const std::string& fsPath, bool replace, const Write& write) {
    std::unique_ptr<support::StagedFile> file;
    try {
        file = std::make_unique<support::StagedFile>(fsPath);
        file->closeFd();
    } catch (const std::system_error&) {
        throw writeFailure(fsPath);
    }
    write(file->tempPath());
    const QFileInfo written(QString::fromStdString(file->tempPath()));
    if (written.size() == 0)
        throw writeFailure(fsPath);
    try {
        file->commit(replace);
    } catch (const std::system_error& e) {
        if (e.code() == std::errc::file_exists)
            throw existingOutput(fsPath);
        throw writeFailure(fsPath);
    }
}

}  // namespace

void writeReportPdf(const std::string& fsPath, const settings::AppSettings& settings,
                    const SheetNames& names, const model::MeasurementRecord* record,
                    const analysis::AnalysisReport* analysis, bool replace) {
    requireA4PrintArea(settings);
    writeStaged(fsPath, replace, [&](const std::string& tempPath) {
        QPdfWriter writer(QString::fromStdString(tempPath));
        writer.setPageLayout(
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
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
    });
}

namespace {

// An A4 page at `dpi`, painted by `paint` into the whole image, saved as PNG.
template <typename Paint>
void writePagePng(const std::string& fsPath, int dpi, bool replace,
                  const settings::AppSettings& settings, const Paint& paint) {
    requireA4PrintArea(settings);
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
    writeStaged(fsPath, replace, [&](const std::string& tempPath) {
        if (!image.save(QString::fromStdString(tempPath), "PNG"))
            throw writeFailure(fsPath);
    });
}

}  // namespace

void writeReportPng(const std::string& fsPath, const settings::AppSettings& settings,
                    const SheetNames& names, const model::MeasurementRecord* record, int dpi,
                    bool replace) {
    writePagePng(fsPath, dpi, replace, settings, [&](QPainter& painter, const QRectF& page) {
        paintReportPage(painter, page, settings, names, record);
    });
}

void writeAnalysisPng(const std::string& fsPath, const settings::AppSettings& settings,
                      const SheetNames& names, const model::MeasurementRecord& record,
                      const analysis::AnalysisReport& analysis, int dpi, bool replace) {
    writePagePng(fsPath, dpi, replace, settings, [&](QPainter& painter, const QRectF& page) {
        paintAnalysisPage(painter, page, settings, names, record, analysis);
    });
}

}  // namespace plm::chart
