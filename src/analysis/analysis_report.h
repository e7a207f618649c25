#pragma once

#include <optional>

#include "analysis/figures.h"
#include "analysis/limits.h"
#include "analysis/limits_file.h"
#include "analysis/trend.h"
#include "analysis/verdict.h"
#include "model/record_list.h"

// Everything the judgement of one filed measurement shows: its figures and
// verdict under the limits of its name, and the trend of the name it sits in.
namespace plm::analysis {

struct AnalysisReport {
    Limits limits;
    std::vector<LimitsLevel> levels;  // per key of limitKeys(); empty when not known
    MeasurementFigures figures;
    Judgement judgement;
    Trend trend;
    int shownEntry = -1;  // the measurement's position in trend.entries
};

// Throws std::out_of_range when index is not a record of the list.
AnalysisReport analyzeFiled(const model::RecordList& records, int index, const Limits& limits,
                            const std::optional<ReferenceMark>& reference);

// The limits and reference mark of a name out of the book, each measurement
// judged by the limits of its own model too, then analyzeFiled.
AnalysisReport analyzeFiled(const model::RecordList& records, int index, const LimitsBook& book,
                            const std::string& customer, const std::string& circuit,
                            const std::string& name);

}  // namespace plm::analysis
