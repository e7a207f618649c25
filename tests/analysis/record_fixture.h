#pragma once

#include <cstdint>
#include <vector>

#include "common/fixtures.h"
#include "model/measurement_record.h"
#include "support/ole_date.h"

// Hand-built records for the analysis tests: channel k (0-based) starts
// ON when startOn[k] and toggles at each sample listed in changes[k].
namespace plm::test {

struct RecordShape {
    int32_t devType = 0;  // 3 channels
    int32_t measPeriod = 1;
    size_t samples = 1001;
    std::vector<std::vector<int64_t>> changes;
    std::vector<bool> startOn = {};
    int32_t measureType = 0;
};

inline model::MeasurementRecord buildRecord(const RecordShape& shape) {
    model::MeasurementRecord r;
    r.cond.devType = shape.devType;
    r.measPeriod = shape.measPeriod;
    r.measureType = shape.measureType;
    r.contacts.assign(shape.samples, 0);
    for (size_t ch = 0; ch < shape.changes.size(); ++ch) {
        bool on = ch < shape.startOn.size() && shape.startOn[ch];
        size_t next = 0;
        const std::vector<int64_t>& at = shape.changes[ch];
        for (size_t i = 0; i < shape.samples; ++i) {
            if (next < at.size() && static_cast<int64_t>(i) == at[next]) {
                on = !on;
                ++next;
            }
            if (on)
                r.contacts[i] |= static_cast<uint8_t>(1u << ch);
        }
    }
    return r;
}

// A date at 10:00, the hour a test is usually made.
inline support::DateTimeValue dateOf(int year, int month, int day) {
    return dateAt(year, month, day, 10);
}

}  // namespace plm::test
