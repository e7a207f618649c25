#pragma once

#include <QRectF>

#include <string>

#include "analysis/analysis_report.h"
#include "chart/test_sheet.h"

class QPainter;

// The printed test report: the test sheet with its title row on one page,
// inside the margins of the settings ([Param] PrtBlank*, whole millimetres).
namespace plm::chart {

// Paints the page into pageRect (device pixels: the drawing rectangle the
// printer reports). With no record the page stays blank.
void paintReportPage(QPainter& painter, const QRectF& pageRect,
                     const settings::AppSettings& settings, const SheetNames& names,
                     const model::MeasurementRecord* record);

// A4 portrait as printed, written to a PDF file or a PNG image (150 dpi by
// default) at fsPath (UTF-8). Throws CxException when the file cannot be written.
// With an analysis (and a record) the PDF gets the judgement as its second page.
void writeReportPdf(const std::string& fsPath, const settings::AppSettings& settings,
                    const SheetNames& names, const model::MeasurementRecord* record,
                    const analysis::AnalysisReport* analysis = nullptr);
void writeReportPng(const std::string& fsPath, const settings::AppSettings& settings,
                    const SheetNames& names, const model::MeasurementRecord* record, int dpi = 150);
// The second page alone as a PNG image.
void writeAnalysisPng(const std::string& fsPath, const settings::AppSettings& settings,
                      const SheetNames& names, const model::MeasurementRecord& record,
                      const analysis::AnalysisReport& analysis, int dpi = 150);

}  // namespace plm::chart
