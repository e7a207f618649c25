#include "analysis/trend.h"

#include <algorithm>

namespace plm::analysis {
TrendEntry trendEntryOf(int index, const model::MeasurementRecord& record, const Limits& limits) {
    const MeasurementFigures figures = computeFigures(record, limits.poleGroupOrDefault());
    TrendEntry entry;
    entry.index = index;
    entry.date = record.testDateTime;
    entry.measureType = record.measureType;
    entry.dataNo = record.dataNo;
    entry.operatingUs.reserve(figures.channels.size());
    for (const ChannelFigures& ch : figures.channels)
        entry.operatingUs.push_back(ch.operatingUs);
    entry.poleSpreadUs = figures.poleSpreadUs;
    entry.verdict = judge(record, figures, limits).verdict;
    return entry;
}

bool trendDateBefore(const TrendEntry& a, const TrendEntry& b) {
    if (a.date.valid() != b.date.valid())
        return !a.date.valid();
    return a.date.valid() && a.date.value < b.date.value;
}

namespace {

std::optional<int64_t> difference(const std::optional<int64_t>& a,
                                  const std::optional<int64_t>& b) {
    if (!a || !b)
        return std::nullopt;
    return *a - *b;
}

bool sameKind(const TrendEntry& a, const TrendEntry& b) {
    return (a.measureType == 0) == (b.measureType == 0);
}

}  // namespace

size_t Trend::referenceFor(size_t entry) const {
    const TrendEntry& e = entries.at(entry);
    const size_t marked = static_cast<size_t>(reference);
    if (sameKind(entries.at(marked), e))
        return marked;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (sameKind(entries[i], e))
            return i;
    }
    return entry;
}

std::optional<int64_t> Trend::operatingDelta(size_t entry, size_t channel) const {
    const TrendEntry& e = entries.at(entry);
    const TrendEntry& ref = entries.at(referenceFor(entry));
    if (channel >= e.operatingUs.size() || channel >= ref.operatingUs.size())
        return std::nullopt;
    return difference(e.operatingUs[channel], ref.operatingUs[channel]);
}

std::optional<int64_t> Trend::spreadDelta(size_t entry) const {
    return difference(entries.at(entry).poleSpreadUs, entries.at(referenceFor(entry)).poleSpreadUs);
}

Trend computeTrend(const model::RecordList& records, const Limits& limits,
                   const std::optional<ReferenceMark>& reference) {
    return computeTrendByRecord(
        records, [&](const model::MeasurementRecord&) { return limits; }, reference);
}

Trend computeTrendByRecord(const model::RecordList& records, const LimitsOfRecord& limitsOf,
                           const std::optional<ReferenceMark>& reference) {
    Trend trend;
    trend.entries.reserve(static_cast<size_t>(records.count()));
    int index = 0;
    for (const model::MeasurementRecord& record : records)
        trend.entries.push_back(trendEntryOf(index++, record, limitsOf(record)));
    std::stable_sort(trend.entries.begin(), trend.entries.end(), trendDateBefore);
    std::vector<ReferenceCandidate> candidates;
    for (const TrendEntry& e : trend.entries) {
        candidates.push_back({e.date, e.dataNo});
        trend.channels = std::max(trend.channels, static_cast<int>(e.operatingUs.size()));
    }
    trend.reference = referenceIndex(reference, candidates);
    return trend;
}

std::string trendDateText(const TrendEntry& entry) {
    return support::formatDateTime(entry.date, "%Y/%m/%d %H:%M");
}

}  // namespace plm::analysis
