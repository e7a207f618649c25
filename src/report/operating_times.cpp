#include "report/operating_times.h"

namespace plm::report {

IntervalArray OperatingTimeIntervals(const model::MeasurementRecord& record, int channel) {
    IntervalArray result;
    int state = record.contactState(channel, 1);
    int64_t prev = 1;
    for (int64_t& field : result) {
        const int want = state != 1 ? 1 : 0;
        const int64_t pos = record.findContactState(channel, want, prev + 1);
        state = want;
        if (pos == -1) {
            // A negative start makes every later search of the row fail at once.
            field = -1;
            prev = -999;
        } else {
            field = pos - prev;
            prev = pos;
        }
    }
    return result;
}

std::string intervalText(const model::MeasurementRecord& record, int64_t interval) {
    return interval < 0 ? std::string("---") : record.msText(interval);
}

std::array<std::string, 10> operatingRowTexts(const model::MeasurementRecord& record, int channel) {
    std::array<std::string, 10> texts;
    // Without two samples nothing can be measured: the row shows no times.
    if (record.contacts.size() < 2) {
        texts.fill(intervalText(record, -1));
        return texts;
    }
    const IntervalArray intervals = OperatingTimeIntervals(record, channel);
    // A manual start counts the change between samples 0 and 1 as time 0.
    const bool manualStart = record.measureOpe == 1 &&
                             record.contactState(channel, 0) != record.contactState(channel, 1);
    const size_t shift = manualStart ? 1 : 0;
    for (size_t field = 0; field < texts.size(); ++field) {
        texts[field] =
            field < shift ? std::string(1, '0') : intervalText(record, intervals[field - shift]);
    }
    return texts;
}

}  // namespace plm::report
