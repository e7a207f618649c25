#include "analysis/analysis_report.h"

namespace plm::analysis {

namespace {

AnalysisReport judged(const model::RecordList& records, int index, const Limits& limits,
                      Trend trend) {
    const model::MeasurementRecord& record = records.at(index);
    AnalysisReport report;
    report.limits = limits;
    report.figures = computeFigures(record, limits.poleGroupOrDefault());
    report.judgement = judge(record, report.figures, limits);
    report.trend = std::move(trend);
    for (size_t i = 0; i < report.trend.entries.size(); ++i) {
        if (report.trend.entries[i].index == index)
            report.shownEntry = static_cast<int>(i);
    }
    return report;
}

}  // namespace

AnalysisReport analyzeFiled(const model::RecordList& records, int index, const Limits& limits,
                            const std::optional<ReferenceMark>& reference) {
    return judged(records, index, limits, computeTrend(records, limits, reference));
}

AnalysisReport analyzeFiled(const model::RecordList& records, int index, const LimitsBook& book,
                            const std::string& customer, const std::string& circuit,
                            const std::string& name) {
    const LimitsTarget target = LimitsTarget::ofName(customer, circuit, name);
    const LimitsEntry* own = book.find(target);
    const LevelledLimits shown = book.levelled(target, breakerModelOf(records.at(index).cond));
    Trend trend = computeTrendByRecord(
        records,
        [&](const model::MeasurementRecord& r) {
            return book.effective(customer, circuit, name, r.cond);
        },
        own ? own->reference : std::nullopt);
    AnalysisReport report = judged(records, index, shown.limits, std::move(trend));
    report.levels = shown.levels;
    return report;
}

}  // namespace plm::analysis
