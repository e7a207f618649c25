#pragma once

#include <QRectF>
#include <QSizeF>

#include <string>

#include "analysis/analysis_report.h"
#include "chart/test_sheet.h"
#include "support/cx_exception.h"

class QPainter;

// The printed test report: the test sheet with its title row on one page,
// inside the margins of the settings ([Param] PrtBlank*, whole millimetres).
namespace plm::chart {

// Paints the page into pageRect (device pixels: the drawing rectangle the
// printer reports). With no record the page stays blank.
void paintReportPage(QPainter& painter, const QRectF& pageRect,
                     const settings::AppSettings& settings, const SheetNames& names,
                     const model::MeasurementRecord* record);

// The refusal of margins ([Param] PrtBlank*) that leave no room to print on
// a page of pageMm (millimetres), naming the settings at fault; empty when
// they leave room. Such margins would print a blank page.
std::string marginProblem(const settings::AppSettings& settings, const QSizeF& pageMm);

// A4 portrait as printed, written to a PDF file or a PNG image (150 dpi by
// default) at fsPath (UTF-8). The page goes into a temporary file beside
// fsPath that is renamed onto it when whole: a symbolic link at fsPath is
// replaced, never followed, and without `replace` an existing file is kept.
// Throws CxException when the file cannot be written, when it exists and
// may not be replaced, or when the margins leave no room (marginProblem).
// With an analysis (and a record) the PDF gets the judgement as its second page.
void writeReportPdf(const std::string& fsPath, const settings::AppSettings& settings,
                    const SheetNames& names, const model::MeasurementRecord* record,
                    const analysis::AnalysisReport* analysis = nullptr, bool replace = true);
void writeReportPng(const std::string& fsPath, const settings::AppSettings& settings,
                    const SheetNames& names, const model::MeasurementRecord* record, int dpi = 150,
                    bool replace = true);
// The second page alone as a PNG image.
void writeAnalysisPng(const std::string& fsPath, const settings::AppSettings& settings,
                      const SheetNames& names, const model::MeasurementRecord& record,
                      const analysis::AnalysisReport& analysis, int dpi = 150, bool replace = true);

// The A4 page of the writers above: throws CxException(marginProblem) when
// the margins leave no room on it.
void requireA4PrintArea(const settings::AppSettings& settings);

// "指定のファイルは既に存在しています\n%s" for an output kept in place.
CxException existingOutput(const std::string& fsPath);

}  // namespace plm::chart
