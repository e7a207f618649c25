#pragma once

#include <QRectF>

#include <memory>

#include "analysis/analysis_report.h"
#include "chart/layout_grid.h"
#include "chart/test_sheet.h"

class QPainter;

// The second page of the printed report: the figures of the measurement
// with the verdict of every channel, the limits they were judged by, and
// the trend of its measurement name as a plot and as a table.
namespace plm::chart {

// The page laid out in `area` (0.1 mm), for the painting below and for
// tests. Every text wraps whole inside its cell, the rows growing as they
// need; when the tables would leave the trend plot too little room, the
// texts shrink, down to 2 mm.
std::unique_ptr<LayoutGrid> buildAnalysisPage(const settings::AppSettings& settings,
                                              const SheetNames& names,
                                              const model::MeasurementRecord& record,
                                              const analysis::AnalysisReport& report,
                                              const QRectF& area);

// Paints the page into pageRect (device pixels) inside the margins of the
// settings, like the first page.
void paintAnalysisPage(QPainter& painter, const QRectF& pageRect,
                       const settings::AppSettings& settings, const SheetNames& names,
                       const model::MeasurementRecord& record,
                       const analysis::AnalysisReport& report);

// The colour a verdict is shown in (text on white).
QColor verdictColor(analysis::Verdict verdict);

}  // namespace plm::chart
