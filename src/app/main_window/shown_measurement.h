#pragma once

#include <string>

#include "model/measurement_record.h"
#include "model/record_list.h"

// Finding the shown measurement again after its name's list changed. Another
// program that files older measurements under the name, a merge or an import
// moves a measurement's place in the list; what the tester recorded (date and
// time, header values, samples) stays, so that is what the document follows.
namespace plm::app {

struct MeasurementIdentity {
    model::MeasurementRecord record;  // a copy: it shares the samples
    // The same measurement filed twice: how many copies come before this one.
    int repeat = 0;
};

MeasurementIdentity identityAt(const model::RecordList& records, int index);

// Where the measurement is now; -1 when it is not among `records`. With
// fewer copies than before, the last copy.
int locate(const model::RecordList& records, const MeasurementIdentity& identity);

// The measurement filed with the start date and time `start` (text of
// kStartPattern) and the measurement kind `kind`; of several, the one whose
// place is closest to `hint`. -1 when there is none.
int locateByStart(const model::RecordList& records, const std::string& start, int kind, int hint);

// The measurement closest in date and time to `start`; the earlier one of
// two as close. A start that is not a valid date gives `hint` kept within
// the list. -1 for an empty list.
int nearest(const model::RecordList& records, const support::DateTimeValue& start, int hint);

// The start date and time as the settings keep it.
inline constexpr const char* kStartPattern = "%Y/%m/%d %H:%M:%S";
std::string startText(const model::MeasurementRecord& record);

}  // namespace plm::app
