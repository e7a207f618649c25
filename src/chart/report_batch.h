#pragma once

#include <QRectF>

#include <string>
#include <vector>

#include "analysis/limits_file.h"
#include "report/batch_selection.h"
#include "report/batch_summary.h"
#include "settings/app_settings.h"

class QPainter;
class QPagedPaintDevice;

// The report of a batch: optionally the list of its measurements with the
// verdict of each first (as many pages as it takes), then the designed
// report page of each measurement, one page each, in batch order.
namespace plm::chart {

// Pages the summary takes on a page of pageSize (0.1 mm) inside the margins.
int summaryPageCount(const settings::AppSettings& settings, const QSizeF& pageSize,
                     const report::BatchSummary& summary);

// Paints summary page `page` (0-based) into pageRect (device pixels).
void paintSummaryPage(QPainter& painter, const QRectF& pageRect,
                      const settings::AppSettings& settings, const report::BatchSummary& summary,
                      int page);

// Paints every page of the batch on the device the painter is active on (a
// printer or a PDF writer), starting a new page between them. With
// `summaryLimits` the list of measurements comes first, each judged by the
// limits of its name in that book. With `judgementLimits` each report page
// is followed by the measurement's judgement page under the limits of its
// name in that book. `progress` is asked before each measurement's pages;
// false stops there. Returns false when the run was cancelled.
bool paintBatchReport(QPainter& painter, QPagedPaintDevice& device, const QRectF& pageRect,
                      const settings::AppSettings& settings,
                      const std::vector<report::BatchItem>& items,
                      const analysis::LimitsBook* summaryLimits,
                      const report::BatchProgress& progress = {},
                      const analysis::LimitsBook* judgementLimits = nullptr);

// The batch as one A4 portrait PDF at fsPath (UTF-8), which appears only
// when whole: a cancelled or failed run leaves no file and an existing one
// as it was. Without `overwrite` an existing file is kept and the run ends
// with CxException "指定のファイルは既に存在しています\n<path>"; a file that
// cannot be written gives CxException "OpenError\n<path>". Returns false
// when cancelled. The pages are those of paintBatchReport.
bool writeBatchReportPdf(const std::string& fsPath, const settings::AppSettings& settings,
                         const std::vector<report::BatchItem>& items,
                         const analysis::LimitsBook* summaryLimits, bool overwrite,
                         const report::BatchProgress& progress = {},
                         const analysis::LimitsBook* judgementLimits = nullptr);

}  // namespace plm::chart
