#pragma once

#include <string>

#include "model/error_reporter.h"
#include "model/measurement_record.h"
#include "settings/app_settings.h"

// The CSV test-result file of one measurement (module D_CsvOut): labelled
// header lines, one operating-time row per channel and one row per contact
// sample. CP932, CR LF line ends, ", " between fields; values are written
// between double quotes exactly as they are, without escaping.
namespace plm::report {

// What decides the optional lines and the captions of the name lines.
struct CsvLayout {
    std::string itemName1;
    std::string itemName2;
    std::string itemName3;
    int chattering = 1;
    int measureType = 1;
    int measureOpe = 1;
    int outsideTrigger = 1;

    static CsvLayout fromSettings(const settings::AppSettings& settings);
};

// The customer, test circuit and measurement data names the record is filed under.
struct CsvNames {
    std::string level1;
    std::string level2;
    std::string level3;
};

// The whole file as bytes. Throws std::out_of_range for a record with fewer
// than 2 samples (its operating times cannot be measured).
std::string csvText(const CsvLayout& layout, const CsvNames& names,
                    const model::MeasurementRecord& record);

// Writes the file at `path` (stored CP932 form). An existing file another
// program holds is waited for as the retrying exclusive open does (60 s); the
// text goes into a temporary file beside it that is renamed onto the name
// when whole, so a record that cannot be written leaves an old file as it
// was and a symbolic link at the name is replaced, never followed. Without
// `replace` an existing file (or link) is kept and reported with the designed
// "指定のファイルは既に存在しています\n%s". Every failure is reported once
// through `reporter` and gives false: the open failure "OpenError\n<full
// path>" with the information icon (and into the application log), the
// others as a plain "%s\n%s\n%s(%d)" text.
bool WriteCsvFile(const std::string& path, const CsvLayout& layout, const CsvNames& names,
                  const model::MeasurementRecord& record, model::ErrorReporter& reporter,
                  bool replace = true);

}  // namespace plm::report
