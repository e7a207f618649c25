#pragma once

#include <cstdint>
#include <vector>

#include "model/measurement_record.h"
#include "support/ole_date.h"

// Hand-built records for the analysis tests: channel k (0-based) starts
// ON when startOn[k] and toggles at each sample listed in changes[k].
namespace plm::test {

struct RecordSpec {
    int32_t devType = 0;  // 3 channels
    int32_t measPeriod = 1;
    size_t samples = 1001;
    std::vector<std::vector<int64_t>> changes;
    std::vector<bool> startOn = {};
    int32_t measureType = 0;
};

inline model::MeasurementRecord buildRecord(const RecordSpec& spec) {
    model::MeasurementRecord r;
    r.cond.devType = spec.devType;
    r.measPeriod = spec.measPeriod;
    r.measureType = spec.measureType;
    r.contacts.assign(spec.samples, 0);
    for (size_t ch = 0; ch < spec.changes.size(); ++ch) {
        bool on = ch < spec.startOn.size() && spec.startOn[ch];
        size_t next = 0;
        const std::vector<int64_t>& at = spec.changes[ch];
        for (size_t i = 0; i < spec.samples; ++i) {
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

inline support::DateTimeValue dateOf(int year, int month, int day, int hour = 10, int minute = 0) {
    support::CalendarFields f;
    f.year = year;
    f.month = month;
    f.day = day;
    f.hour = hour;
    f.minute = minute;
    support::DateTimeValue v;
    support::fieldsToOle(f, v.value);
    v.status = support::DateStatus::Valid;
    return v;
}

}  // namespace plm::test
