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

}  // namespace plm::report
