#include "model/record_register.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "support/cx_exception.h"
#include "support/text_codec.h"

namespace plm::model {

TestConditions registerTemplate(const MeasurementName& target,
                                const settings::AppSettings& settings) {
    if (!target.records.empty())
        return target.records.at(0).cond;
    TestConditions fresh;
    fresh.Reset(settings.deviceTypeIndex);
    // Whole numbers by design: atoi drops a fractional part, and text that
    // does not start with a number gives 0.
    for (int phase = 0; phase < 3; ++phase) {
        fresh.sesshoku[phase] = std::atoi(settings.defSesshoku[phase].c_str());
        fresh.vacuum[phase] = std::atoi(settings.defVacuum[phase].c_str());
    }
    return fresh;
}

Filing fileRecords(MeasurementName& target, const std::vector<MeasurementRecord>& records,
                   RegisterMode mode, const TestConditions& conditions) {
    if (records.empty()) {
        throw CxException(support::sj("登録する転送データをチェックしてください"));
    }
    Filing filing;
    if (mode == RegisterMode::Replace)
        filing.replaced = std::exchange(target.records, RecordList());
    filing.filed.assign(size_t(target.records.count()), false);
    for (const MeasurementRecord& record : records) {
        MeasurementRecord filed = record;
        filed.cond = conditions;
        const int index = target.records.add(std::move(filed));
        filing.filed.insert(filing.filed.begin() + index, true);
    }
    target.records.renumber();
    return filing;
}

void registerRecords(MeasurementName& target, const std::vector<MeasurementRecord>& records,
                     RegisterMode mode, const settings::AppSettings& settings) {
    fileRecords(target, records, mode, registerTemplate(target, settings));
}

bool sameMeasurement(const MeasurementRecord& a, const MeasurementRecord& b) {
    // Cheap fields first: most pairs differ there, and the comparison below
    // copies a record.
    if (!(a.testDateTime == b.testDateTime) || a.contacts.size() != b.contacts.size())
        return false;
    MeasurementRecord left = a;
    left.dataNo = b.dataNo;
    left.cond = b.cond;
    return left == b;
}

bool allAlreadyFiled(const MeasurementName& target, const std::vector<MeasurementRecord>& records) {
    const auto filed = [&target](const MeasurementRecord& record) {
        return std::any_of(
            target.records.begin(), target.records.end(),
            [&record](const MeasurementRecord& r) { return sameMeasurement(r, record); });
    };
    return !records.empty() && std::all_of(records.begin(), records.end(), filed);
}

}  // namespace plm::model
