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

RecordList& RecordList::operator=(const RecordList& other) {
    if (this != &other) {
        records_ = other.shareOrCopy();
        shared_ = true;
    }
    return *this;
}

RecordList& RecordList::operator=(RecordList&& other) noexcept {
    if (this != &other) {
        records_ = std::move(other.records_);
        shared_ = other.shared_;
        other.shared_ = true;
    }
    return *this;
}

const RecordList::Records& RecordList::view() const {
    static const Records none;
    return records_ ? *records_ : none;
}

RecordList::Records& RecordList::own() {
    if (!records_) {
        records_ = std::make_shared<Records>();
    } else if (records_.use_count() > 1) {
        records_ = std::make_shared<Records>(*records_);
    }
    return *records_;
}

RecordList::Records& RecordList::exposed() {
    Records& records = own();
    shared_ = false;
    return records;
}

std::shared_ptr<RecordList::Records> RecordList::shareOrCopy() const {
    if (shared_ || !records_)
        return records_;
    return std::make_shared<Records>(*records_);
}

MeasurementRecord& RecordList::at(int i) {
    checkIndex(i, view().size());
    return exposed()[static_cast<size_t>(i)];
}

const MeasurementRecord& RecordList::at(int i) const {
    checkIndex(i, view().size());
    return view()[static_cast<size_t>(i)];
}

int RecordList::add(MeasurementRecord record) {
    const Records& records = view();
    int lo = 0;
    int hi = count() - 1;
    int position = -1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        DateOrder order =
            compareForAdd(records[static_cast<size_t>(mid)].testDateTime, record.testDateTime);
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
    Records& changed = own();
    changed.insert(changed.begin() + position, std::move(record));
    return position;
}

void RecordList::insertAt(int i, MeasurementRecord record) {
    if (i < 0 || i > count())
        throw std::out_of_range("RecordList: invalid index");
    Records& records = own();
    records.insert(records.begin() + i, std::move(record));
}

void RecordList::removeAt(int i) {
    checkIndex(i, view().size());
    Records& records = own();
    records.erase(records.begin() + i);
}

void RecordList::renumber() {
    int32_t number = 1;
    for (auto& record : own())
        record.dataNo = number++;
}

}  // namespace plm::model
