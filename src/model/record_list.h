#pragma once

#include <vector>

#include "model/measurement_record.h"

namespace plm::model {

// The measurements of one measurement name, kept in ascending order of their
// test date and time. The list order is also the data file order.
class RecordList {
  public:
    int count() const { return static_cast<int>(records_.size()); }
    bool empty() const { return records_.empty(); }

    // std::out_of_range outside 0..count-1.
    MeasurementRecord& at(int i);
    const MeasurementRecord& at(int i) const;

    // Inserts the record at its place in date-time order and returns its
    // index: before an existing record with the same date and time (to the
    // second), and a record whose date is not valid goes in front of valid ones.
    int add(MeasurementRecord record);

    // Inserts at index i (0..count), keeping whatever order the caller wants.
    void insertAt(int i, MeasurementRecord record);

    // Appends without looking at the date: loading keeps the stored order.
    void append(MeasurementRecord record) { records_.push_back(std::move(record)); }

    void removeAt(int i);
    void clear() { records_.clear(); }
    void reserve(size_t n) { records_.reserve(n); }

    // dataNo of record i becomes i + 1 for every record.
    void renumber();

    auto begin() { return records_.begin(); }
    auto end() { return records_.end(); }
    auto begin() const { return records_.begin(); }
    auto end() const { return records_.end(); }

    bool operator==(const RecordList&) const = default;

  private:
    std::vector<MeasurementRecord> records_;
};

// How `add` orders two date-times: compared field by field (year, month,
// day, hour, minute, second). Equal when both are valid with equal fields or
// both are null; earlier when both are valid and the first differing field is
// smaller; otherwise the existing value counts as later than the new one.
enum class DateOrder { Earlier, Equal, Later };
DateOrder compareForAdd(const support::DateTimeValue& existing,
                        const support::DateTimeValue& added);

}  // namespace plm::model
