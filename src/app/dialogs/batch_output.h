#pragma once

#include <string>
#include <vector>

#include "report/batch_selection.h"
#include "settings/app_settings.h"

class QPrinter;
class QWidget;

// Printing and text output of several measurements at once, for every part
// of the program that offers a list of measurements (the batch dialog, the
// browser). Long runs show a progress dialog whose cancel stops the run
// before its next page or file.
namespace plm::app {

// The "印刷に判定結果のページを付ける" box of the 判定・傾向 pane holds for
// batches too: ticked, each measurement's report page is followed by its
// judgement page. The pane sets it while the box exists.
void setJudgementPagesPrinted(bool on);
bool judgementPagesPrinted();

// One print job: the summary pages first when asked, then the report page of
// each measurement, with its judgement page when judgementPagesPrinted().
// The limits file is read for the summary and the judgement pages; one that
// cannot be read is told and nothing is printed. False when cancelled or
// the printer could not start.
bool printMeasurements(QPrinter& printer, const settings::AppSettings& settings,
                       const std::vector<report::BatchItem>& items, bool summary, QWidget* parent);

// The print preview of the same pages, all of them.
void previewMeasurements(QPrinter& printer, const settings::AppSettings& settings,
                         const std::vector<report::BatchItem>& items, bool summary,
                         QWidget* parent);

// One CSV file per measurement into `folder` (stored path), named as plmtool
// names them. Existing files are replaced only after the user agreed; every
// failure and the result are told through the prompter. True when every
// file was written.
bool writeMeasurementsCsv(const settings::AppSettings& settings, const std::string& folder,
                          const std::vector<report::BatchItem>& items, QWidget* parent);

}  // namespace plm::app
