#pragma once

#include <optional>

#include "analysis/analysis_report.h"
#include "model/measurement_record.h"

namespace plm::app {

// What the judgement pane lays on the chart view and its printout: the
// reference drawn under the shown measurement and the judgement page printed
// after the report. The chart view implements it; the pane knows no more of it.
class ChartDecorations {
  public:
    virtual ~ChartDecorations() = default;
    virtual void setOverlay(std::optional<model::MeasurementRecord> reference) = 0;
    virtual bool hasOverlay() const = 0;
    virtual void setPrintAnalysis(std::optional<analysis::AnalysisReport> report) = 0;
};

}  // namespace plm::app
