#pragma once

#include <vector>

#include "analysis/limits_file.h"
#include "analysis/verdict.h"
#include "report/batch_selection.h"

// The verdicts of many measurements at once, for the list that opens the
// report of a batch.
namespace plm::analysis {

// The verdict of each item in batch order, each judged by the limits of the
// measurement name it is filed under and of its breaker model (the model's,
// overlaid by the test circuit's, overlaid by the name's own).
std::vector<Verdict> judgeBatch(const std::vector<report::BatchItem>& items,
                                const LimitsBook& book);

}  // namespace plm::analysis
