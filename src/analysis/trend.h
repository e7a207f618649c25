#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/limits.h"
#include "analysis/limits_file.h"
#include "analysis/verdict.h"
#include "model/record_list.h"

// The trend of a measurement name: every measurement's operating times and
// pole spread against its test date, to see a mechanism slow down over the
// years, with the differences to a reference measurement.
namespace plm::analysis {

struct TrendEntry {
    int index = 0;  // position under the measurement name
    support::DateTimeValue date;
    int32_t measureType = 0;
    int32_t dataNo = 0;
    std::vector<std::optional<int64_t>> operatingUs;  // channel 1..channelCount
    std::optional<int64_t> poleSpreadUs;
    Verdict verdict = Verdict::NotJudged;
};

struct Trend {
    std::vector<TrendEntry> entries;  // in test date order
    int reference = 0;                // position in entries; 0 when empty
    int channels = 0;                 // the most channels of any entry

    // The entry an entry is compared with: the reference when it is of the
    // same measurement kind, else the first entry of the entry's kind (a
    // trip is never compared with a close).
    size_t referenceFor(size_t entry) const;

    // Entry minus its reference, per channel and for the spread; nullopt
    // where either side has no value.
    std::optional<int64_t> operatingDelta(size_t entry, size_t channel) const;
    std::optional<int64_t> spreadDelta(size_t entry) const;
};

// Measurements with a valid date in date order (stable for equal dates),
// those without one first, as they are listed.
Trend computeTrend(const model::RecordList& records, const Limits& limits,
                   const std::optional<ReferenceMark>& reference);

// The same with each measurement judged by limits of its own (those of the
// model its conditions name differ between measurements of one name).
using LimitsOfRecord = std::function<Limits(const model::MeasurementRecord&)>;
Trend computeTrendByRecord(const model::RecordList& records, const LimitsOfRecord& limitsOf,
                           const std::optional<ReferenceMark>& reference);

// One measurement's entry: its figures and verdict under `limits`; `index`
// is its position under its name.
TrendEntry trendEntryOf(int index, const model::MeasurementRecord& record, const Limits& limits);

// The order of a trend: entries without a valid date first, then by date.
bool trendDateBefore(const TrendEntry& a, const TrendEntry& b);

// "%Y/%m/%d %H:%M" of the entry's test date (CP932).
std::string trendDateText(const TrendEntry& entry);

}  // namespace plm::analysis
