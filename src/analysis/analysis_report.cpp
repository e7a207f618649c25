#include "analysis/analysis_report.h"

namespace plm::analysis {

AnalysisReport analyzeFiled(const model::RecordList& records, int index, const Limits& limits,
                            const std::optional<ReferenceMark>& reference) {
    const model::MeasurementRecord& record = records.at(index);
    AnalysisReport report;
    report.limits = limits;
    report.figures = computeFigures(record, limits.poleGroupOrDefault());
    report.judgement = judge(record, report.figures, limits);
    report.trend = computeTrend(records, limits, reference);
    for (size_t i = 0; i < report.trend.entries.size(); ++i) {
        if (report.trend.entries[i].index == index)
            report.shownEntry = static_cast<int>(i);
    }
    return report;
}

AnalysisReport analyzeFiled(const model::RecordList& records, int index, const LimitsBook& book,
                            const std::string& customer, const std::string& circuit,
                            const std::string& name) {
    const LimitsEntry* own = book.find(LimitsTarget::ofName(customer, circuit, name));
    return analyzeFiled(records, index, book.effective(customer, circuit, name),
                        own ? own->reference : std::nullopt);
}

}  // namespace plm::analysis
