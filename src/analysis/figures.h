#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/measurement_record.h"

// The timing figures of one measurement, as a maintenance engineer judges a
// breaker by them. Times are whole microseconds (sample steps times the
// sampling period), so a figure never drifts the way a product of doubles
// does; they become milliseconds only as text.
namespace plm::analysis {

// Microseconds of one sample step, or nullopt when the record's period code
// names no period (code 4 and unknown codes): such a record has no time base.
std::optional<int64_t> periodMicros(const model::MeasurementRecord& record);

struct ChannelFigures {
    int channel = 0;  // 1-based
    // Sample 1 to the first change after it: the first field of the channel's
    // operating-time row. nullopt when the channel never changes (or the
    // record has no time base).
    std::optional<int64_t> operatingUs;
    int changes = 0;  // state changes after sample 1, all of them
    // First to last change; 0 with one change, nullopt with none.
    std::optional<int64_t> bounceUs;
    std::optional<bool> finalOn;  // state at the last sample; nullopt without samples

    // Sample positions behind the times, kept for records without a time base.
    int64_t firstChange = -1;
    int64_t lastChange = -1;
};

// The channels 1..3 unless the limits name others.
std::vector<int> defaultPoleGroup();

struct MeasurementFigures {
    std::vector<ChannelFigures> channels;  // channel 1..channelCount
    // max - min of the operating times of the pole-group channels that
    // changed; nullopt when fewer than two of them did.
    std::optional<int64_t> poleSpreadUs;
    bool timeBase = true;  // false when the period code names no period
};

// One pass over the samples, whatever the number of channels.
MeasurementFigures computeFigures(const model::MeasurementRecord& record,
                                  const std::vector<int>& poleGroup);

// Milliseconds with at least one decimal and no trailing zeros beyond it:
// 45000 gives "45.0", 500 "0.5", 1250 "1.25", -900 "-0.9".
std::string msFromMicros(int64_t us);

// The reverse for a typed or stored value: a non-negative decimal number of
// milliseconds with at most three decimals ("45", "45.5", "0.125").
// nullopt for anything else, including values above 10^9 ms.
std::optional<int64_t> microsFromMsText(const std::string& text);

}  // namespace plm::analysis
