#pragma once

// Every number the system writes (CSV, test sheet, report, logs, plmtool
// output) uses "." as the decimal mark. Starting Qt sets the process locale
// from the desktop, where a comma-decimal locale would turn 0.7 into "0,7"
// in every printf-style text; this puts the numeric part back.
namespace plm::support {

// Call right after the Qt application object is created.
void keepNumbersInCLocale();

}  // namespace plm::support
