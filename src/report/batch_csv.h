#pragma once

#include <functional>
#include <string>
#include <vector>

#include "report/batch_selection.h"
#include "report/csv_writer.h"

namespace plm::report {

struct BatchCsvResult {
    std::vector<std::string> written;  // stored paths (CP932), in batch order
    bool cancelled = false;
};

// The paths (stored form) of the batch's CSV files in `folder` that exist already.
std::vector<std::string> existingBatchFiles(const std::string& folder,
                                            const std::vector<std::string>& fileNames);

// Writes one CSV test-result file per item into `folder` (stored CP932
// path; created when missing), named by batchCsvFileNames. Each file
// appears only when whole, so a cancelled or failed run leaves the files
// written before it and nothing half-written. An existing file is replaced
// only with `overwrite`; otherwise meeting one ends the run with
// CxException "指定のファイルは既に存在しています\n<path>". A folder that
// takes no file gives CxException "OpenError\n<path>"; a record that cannot
// be written (fewer than 2 samples) ends the run with std::out_of_range.
// `written` is told each path as soon as its file is in place.
BatchCsvResult writeBatchCsv(const std::string& folder, const CsvLayout& layout,
                             const std::vector<BatchItem>& items, bool overwrite,
                             const BatchProgress& progress = {},
                             const std::function<void(const std::string&)>& written = {});

}  // namespace plm::report
