#pragma once

#include <QRectF>

#include <memory>
#include <vector>

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

// The pages the judgement takes in `area`: one, or when even the smallest
// texts leave the trend plot too little room, the figures and limits on
// the first and the trend on a second.
std::vector<std::unique_ptr<LayoutGrid>> buildAnalysisPages(const settings::AppSettings& settings,
                                                            const SheetNames& names,
                                                            const model::MeasurementRecord& record,
                                                            const analysis::AnalysisReport& report,
                                                            const QRectF& area);

// Paints the page into pageRect (device pixels) inside the margins of the
// settings, like the first page. A trend on a page of its own follows on a
// new page of a printer or PDF; an image holds the first page only.
void paintAnalysisPage(QPainter& painter, const QRectF& pageRect,
                       const settings::AppSettings& settings, const SheetNames& names,
                       const model::MeasurementRecord& record,
                       const analysis::AnalysisReport& report);

// The colour a verdict is shown in (text on white).
QColor verdictColor(analysis::Verdict verdict);

}  // namespace plm::chart
