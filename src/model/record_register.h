#pragma once

#include <array>
#include <string>
#include <vector>

#include "model/customer_tree.h"
#include "settings/app_settings.h"

// Filing transferred measurements under a measurement name.
namespace plm::model {

enum class RegisterMode {
    Replace,  // "はい": all earlier measurements of the name are deleted first
    Append,   // "いいえ": the new ones are merged in by date and time
};

// The conditions every newly filed measurement takes: those of the first
// measurement already filed under the name; under a name without
// measurements, fresh conditions whose sesshoku/vacuum values are the
// [DefCnd] texts read as whole numbers ("12.7" gives 12, "abc" gives 0).
TestConditions registerTemplate(const MeasurementName& target,
                                const settings::AppSettings& settings);

// Files `records` (in order) under `target` with the template's conditions
// and renumbers the name's measurements from 1. The template is taken before
// a Replace deletes anything. Refused with CxException
// "登録する転送データをチェックしてください" when `records` is empty; the
// name then stays as it was.
void registerRecords(MeasurementName& target, const std::vector<MeasurementRecord>& records,
                     RegisterMode mode, const settings::AppSettings& settings);

// What filing changed, for taking it back: the measurements a Replace took
// away (by move, numbers intact) and, for every position of the name
// afterwards, whether a newly filed measurement is there.
struct Filing {
    RecordList replaced;
    std::vector<bool> filed;
};

// registerRecords with the conditions given rather than the template's.
Filing fileRecords(MeasurementName& target, const std::vector<MeasurementRecord>& records,
                   RegisterMode mode, const TestConditions& conditions);

// The same measurement of the tester: equal date and time, header values,
// voltage/current values and samples. The data number (renumbered on filing)
// and the test conditions (the user's) do not count.
bool sameMeasurement(const MeasurementRecord& a, const MeasurementRecord& b);

// True when `records` is not empty and every one of them is filed under
// `target` already: appending them would only duplicate what is there.
bool allAlreadyFiled(const MeasurementName& target, const std::vector<MeasurementRecord>& records);

}  // namespace plm::model
