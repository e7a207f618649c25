#include "analysis/breaker_history.h"

#include <algorithm>

#include "model/name_compare.h"

namespace plm::analysis {

int BreakerHistory::entryOf(const BreakerPlace& place, int index) const {
    for (size_t i = 0; i < places.size(); ++i) {
        const BreakerPlace& p = places[i];
        if (trend.entries[i].index == index && model::sameName(p.customer, place.customer) &&
            model::sameName(p.circuit, place.circuit) && model::sameName(p.name, place.name))
            return static_cast<int>(i);
    }
    return -1;
}

BreakerHistoryBuilder::BreakerHistoryBuilder(Breaker breaker, const LimitsBook& book)
    : breaker_(std::move(breaker)), book_(book) {}

void BreakerHistoryBuilder::add(const BreakerPlace& place, int index,
                                const model::MeasurementRecord& record) {
    if (!isOf(record.cond, breaker_))
        return;
    const Limits limits = book_.effective(place.customer, place.circuit, place.name, record.cond);
    found_.emplace_back(trendEntryOf(index, record, limits), place);
}

BreakerHistory BreakerHistoryBuilder::finish() && {
    std::stable_sort(found_.begin(), found_.end(), [](const auto& a, const auto& b) {
        return trendDateBefore(a.first, b.first);
    });
    BreakerHistory history;
    for (auto& [entry, place] : found_) {
        history.trend.channels =
            std::max(history.trend.channels, static_cast<int>(entry.operatingUs.size()));
        history.trend.entries.push_back(std::move(entry));
        history.places.push_back(std::move(place));
    }
    return history;
}

BreakerHistory breakerHistory(const model::CustomerTree& tree, const Breaker& breaker,
                              const LimitsBook& book) {
    BreakerHistoryBuilder builder(breaker, book);
    for (const model::Customer& customer : tree.customers) {
        for (const model::TestCircuit& circuit : customer.circuits) {
            for (const model::MeasurementName& name : circuit.names) {
                const BreakerPlace place{customer.name, circuit.name, name.name};
                int index = 0;
                for (const model::MeasurementRecord& record : name.records)
                    builder.add(place, index++, record);
            }
        }
    }
    return std::move(builder).finish();
}

}  // namespace plm::analysis
