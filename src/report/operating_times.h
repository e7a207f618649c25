#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "model/measurement_record.h"

namespace plm::report {

// Durations of ten successive states of one channel, in sample steps; -1
// where no further change was found (that field and every later one).
using IntervalArray = std::array<int64_t, 10>;

// The first interval runs from sample 1 (not 0) to the first change of the
// channel; each later one is the length of the next state. channel is 0-based.
// Throws std::out_of_range when the record holds fewer than 2 samples.
IntervalArray OperatingTimeIntervals(const model::MeasurementRecord& record, int channel);

// One interval as shown: its millisecond text, or "---" when it is missing.
std::string intervalText(const model::MeasurementRecord& record, int64_t interval);

// The ten fields of a channel's operating-time row as the test sheet shows
// them: all "---" without two samples; under a manual start whose channel
// changed between samples 0 and 1, "0" first and the intervals after it.
std::array<std::string, 10> operatingRowTexts(const model::MeasurementRecord& record, int channel);

}  // namespace plm::report
