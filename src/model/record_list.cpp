#include "model/record_list.h"

#include <stdexcept>

namespace plm::model {
namespace {

void checkIndex(int i, size_t size) {
    if (i < 0 || static_cast<size_t>(i) >= size) {
        throw std::out_of_range("RecordList: invalid index");
    }
}

int fieldsCompare(const support::CalendarFields& a, const support::CalendarFields& b) {
    const int left[] = {a.year, a.month, a.day, a.hour, a.minute, a.second};
    const int right[] = {b.year, b.month, b.day, b.hour, b.minute, b.second};
    for (int k = 0; k < 6; ++k) {
        if (left[k] != right[k])
            return left[k] < right[k] ? -1 : 1;
    }
    return 0;
}

}  // namespace

DateOrder compareForAdd(const support::DateTimeValue& existing,
                        const support::DateTimeValue& added) {
    using support::DateStatus;
    if (existing.status == DateStatus::Null && added.status == DateStatus::Null) {
        return DateOrder::Equal;
    }
    support::CalendarFields a;
    support::CalendarFields b;
    if (existing.valid() && added.valid() && support::oleToFields(existing.value, a) &&
        support::oleToFields(added.value, b)) {
        int c = fieldsCompare(a, b);
        if (c == 0)
            return DateOrder::Equal;
        if (c < 0)
            return DateOrder::Earlier;
    }
    return DateOrder::Later;
}

MeasurementRecord& RecordList::at(int i) {
    checkIndex(i, records_.size());
    return records_[static_cast<size_t>(i)];
}

const MeasurementRecord& RecordList::at(int i) const {
    checkIndex(i, records_.size());
    return records_[static_cast<size_t>(i)];
}

int RecordList::add(MeasurementRecord record) {
    int lo = 0;
    int hi = count() - 1;
    int position = -1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        DateOrder order =
            compareForAdd(records_[static_cast<size_t>(mid)].testDateTime, record.testDateTime);
        if (order == DateOrder::Later) {
            hi = mid - 1;
        } else if (order == DateOrder::Earlier) {
            lo = mid + 1;
        } else {
            position = mid;
            break;
        }
    }
    if (position < 0)
        position = lo;
    records_.insert(records_.begin() + position, std::move(record));
    return position;
}

void RecordList::insertAt(int i, MeasurementRecord record) {
    if (i < 0 || i > count())
        throw std::out_of_range("RecordList: invalid index");
    records_.insert(records_.begin() + i, std::move(record));
}

void RecordList::removeAt(int i) {
    checkIndex(i, records_.size());
    records_.erase(records_.begin() + i);
}

void RecordList::renumber() {
    int32_t number = 1;
    for (auto& record : records_)
        record.dataNo = number++;
}

}  // namespace plm::model
