#pragma once

#include "cli/command.h"

// plmtool csv / report below a customer, a test circuit or a measurement
// name: the number of names says the level.
namespace plm::cli {

// True when the arguments name fewer than all five (CUSTOMER CIRCUIT NAME INDEX OUT).
bool isBatch(const Invocation& inv);

// One CSV file per measurement into the folder OUT.
int runBatchCsv(const Invocation& inv);

// One PDF, optionally opened by the summary (--summary), then a page per measurement.
int runBatchReport(const Invocation& inv);

}  // namespace plm::cli
