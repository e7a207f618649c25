#include "analysis/batch_verdicts.h"

#include "analysis/figures.h"

namespace plm::analysis {

std::vector<Verdict> judgeBatch(const std::vector<report::BatchItem>& items,
                                const LimitsBook& book) {
    std::vector<Verdict> verdicts;
    verdicts.reserve(items.size());
    for (const report::BatchItem& item : items) {
        const Limits limits =
            book.effective(item.level1, item.level2, item.level3, item.record->cond);
        const MeasurementFigures figures =
            computeFigures(*item.record, limits.poleGroupOrDefault());
        verdicts.push_back(judge(*item.record, figures, limits).verdict);
    }
    return verdicts;
}

}  // namespace plm::analysis
