#include "app/main_window/shown_measurement.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "model/record_register.h"

namespace plm::app {
namespace {

// sameMeasurement compares whole records; the start alone tells most apart,
// so a selection of many measurements under a long list stays quick.
bool same(const model::MeasurementRecord& a, const model::MeasurementRecord& b) {
    return a.testDateTime == b.testDateTime && a.measureType == b.measureType &&
           model::sameMeasurement(a, b);
}

}  // namespace

MeasurementIdentity identityAt(const model::RecordList& records, int index) {
    MeasurementIdentity identity{records.at(index), 0};
    for (int i = 0; i < index; ++i) {
        if (same(records.at(i), identity.record))
            ++identity.repeat;
    }
    return identity;
}

int locate(const model::RecordList& records, const MeasurementIdentity& identity) {
    int found = -1;
    int copies = 0;
    for (int i = 0; i < records.count(); ++i) {
        if (!same(records.at(i), identity.record))
            continue;
        found = i;
        if (copies++ == identity.repeat)
            break;
    }
    return found;
}

std::string startText(const model::MeasurementRecord& record) {
    return record.dateValid() ? support::formatDateTime(record.testDateTime, kStartPattern)
                              : std::string();
}

int locateByStart(const model::RecordList& records, const std::string& start, int kind, int hint) {
    int found = -1;
    for (int i = 0; i < records.count(); ++i) {
        const model::MeasurementRecord& r = records.at(i);
        if (r.measureType != kind || startText(r) != start)
            continue;
        if (found < 0 || std::abs(i - hint) < std::abs(found - hint))
            found = i;
    }
    return start.empty() ? -1 : found;
}

int nearest(const model::RecordList& records, const support::DateTimeValue& start, int hint) {
    if (records.empty())
        return -1;
    if (!start.valid())
        return std::clamp(hint, 0, records.count() - 1);
    int best = -1;
    double bestDistance = 0.0;
    for (int i = 0; i < records.count(); ++i) {
        const model::MeasurementRecord& r = records.at(i);
        if (!r.dateValid())
            continue;
        const double distance = std::fabs(r.testDateTime.value - start.value);
        if (best < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best < 0 ? std::clamp(hint, 0, records.count() - 1) : best;
}

}  // namespace plm::app
