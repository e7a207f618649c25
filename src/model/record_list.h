#pragma once

#include <memory>
#include <vector>

#include "model/measurement_record.h"

namespace plm::model {

// The measurements of one measurement name, kept in ascending order of their
// test date and time. The list order is also the data file order.
//
// Copies of a list share its records until one of them changes, so a copy
// of the whole tree (the working copy of the data management sheet) costs
// the names, not the measurements. A list that has handed out a reference
// to change a record (the non-const at, begin and end) is copied whole
// instead, since that reference may still be written through; such a list
// shares again after allowSharing(), called once no such reference is held.
class RecordList {
  public:
    using Records = std::vector<MeasurementRecord>;

    RecordList() = default;
    // The records in the order given (a load keeps the stored order).
    explicit RecordList(Records records)
        : records_(records.empty() ? nullptr : std::make_shared<Records>(std::move(records))) {}
    RecordList(const RecordList& other) : records_(other.shareOrCopy()) {}
    RecordList& operator=(const RecordList& other);
    RecordList(RecordList&& other) noexcept
        : records_(std::move(other.records_)), shared_(other.shared_) {
        other.shared_ = true;
    }
    RecordList& operator=(RecordList&& other) noexcept;

    int count() const { return static_cast<int>(view().size()); }
    bool empty() const { return view().empty(); }

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
    void append(MeasurementRecord record) { own().push_back(std::move(record)); }

    void removeAt(int i);
    void clear() { records_.reset(); }
    void reserve(size_t n) { own().reserve(n); }

    // dataNo of record i becomes i + 1 for every record.
    void renumber();

    // No reference to change a record of this list is held any more.
    void allowSharing() { shared_ = true; }

    Records::iterator begin() { return exposed().begin(); }
    Records::iterator end() { return exposed().end(); }
    Records::const_iterator begin() const { return view().begin(); }
    Records::const_iterator end() const { return view().end(); }

    // Lists that share their records are equal without looking at them.
    bool operator==(const RecordList& other) const {
        return (records_ && records_ == other.records_) || view() == other.view();
    }

  private:
    const Records& view() const;
    // The records, first copied when another list shares them.
    Records& own();
    // As own(), for a caller that keeps a reference to change them.
    Records& exposed();
    std::shared_ptr<Records> shareOrCopy() const;

    std::shared_ptr<Records> records_;  // null: no records
    bool shared_ = true;                // copies may share records_
};

// How `add` orders two date-times: compared field by field (year, month,
// day, hour, minute, second). Equal when both are valid with equal fields or
// both are null; earlier when both are valid and the first differing field is
// smaller; otherwise the existing value counts as later than the new one.
enum class DateOrder { Earlier, Equal, Later };
DateOrder compareForAdd(const support::DateTimeValue& existing,
                        const support::DateTimeValue& added);

}  // namespace plm::model
