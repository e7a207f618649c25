#include "model/tree_change.h"

#include <algorithm>
#include <utility>

namespace plm::model {

namespace {

std::vector<int> numbersOf(const RecordList& records) {
    std::vector<int> numbers;
    numbers.reserve(size_t(records.count()));
    for (const MeasurementRecord& r : records)
        numbers.push_back(r.dataNo);
    return numbers;
}

void restoreNumbers(RecordList& records, const std::vector<int>& numbers) {
    for (size_t i = 0; i < numbers.size(); ++i)
        records.at(int(i)).dataNo = numbers[i];
}

}  // namespace

MeasurementName& nameAtPath(CustomerTree& tree, NamePath path) {
    return tree.customers.at(path.customer).circuits.at(path.circuit).names.at(path.name);
}

const MeasurementName& nameAtPath(const CustomerTree& tree, NamePath path) {
    return tree.customers.at(path.customer).circuits.at(path.circuit).names.at(path.name);
}

// ---- Names ----

AddNameChange::AddNameChange(TreeLevel level, TreeParents parents, std::string name)
    : level_(level), parents_(parents), name_(std::move(name)) {}

void AddNameChange::apply(CustomerTree& tree) {
    added_ = !nameExists(tree, level_, parents_, name_);
    position_ = addName(tree, level_, parents_, name_);
}

void AddNameChange::revert(CustomerTree& tree) {
    if (added_)
        removeName(tree, level_, parents_, position_);
}

RemoveNameChange::RemoveNameChange(TreeLevel level, TreeParents parents, int position)
    : level_(level), parents_(parents), position_(position) {}

void RemoveNameChange::apply(CustomerTree& tree) {
    taken_.emplace(takeName(tree, level_, parents_, position_));
}

void RemoveNameChange::revert(CustomerTree& tree) {
    putName(tree, level_, parents_, std::move(*taken_));
    taken_.reset();
}

RenameNameChange::RenameNameChange(TreeLevel level, TreeParents parents, int position,
                                   std::string newName, std::string levelLabel)
    : level_(level),
      parents_(parents),
      position_(position),
      newName_(std::move(newName)),
      levelLabel_(std::move(levelLabel)) {}

void RenameNameChange::apply(CustomerTree& tree) {
    const std::string oldName = namesAt(tree, level_, parents_).at(size_t(position_));
    newPosition_ = renameName(tree, level_, parents_, position_, newName_, levelLabel_);
    oldName_ = oldName;
}

void RenameNameChange::revert(CustomerTree& tree) {
    renameName(tree, level_, parents_, newPosition_, oldName_, levelLabel_);
}

// ---- Measurements ----

RemoveRecordsChange::RemoveRecordsChange(NamePath path, std::vector<int> rows)
    : path_(path), rows_(std::move(rows)) {}

void RemoveRecordsChange::apply(CustomerTree& tree) {
    removed_ = removeRecords(nameAtPath(tree, path_), rows_);
}

void RemoveRecordsChange::revert(CustomerTree& tree) {
    RecordList& records = nameAtPath(tree, path_).records;
    for (size_t i = 0; i < rows_.size(); ++i)
        records.insertAt(rows_[i], std::move(removed_[i]));
    removed_.clear();
}

MoveRecordsChange::MoveRecordsChange(NamePath source, std::vector<int> rows, NamePath target)
    : source_(source), rows_(std::move(rows)), target_(target) {}

void MoveRecordsChange::apply(CustomerTree& tree) {
    MeasurementName& source = nameAtPath(tree, source_);
    MeasurementName& target = nameAtPath(tree, target_);
    sourceNumbers_ = numbersOf(source.records);
    targetNumbers_ = numbersOf(target.records);
    origin_ = moveRecords(source, rows_, target);
}

void MoveRecordsChange::revert(CustomerTree& tree) {
    MeasurementName& source = nameAtPath(tree, source_);
    MeasurementName& target = nameAtPath(tree, target_);
    // Out of the target last first, so the positions still to visit hold;
    // then back into the source first row first, each at its old place.
    std::vector<std::pair<int, MeasurementRecord>> moved;
    moved.reserve(rows_.size());
    for (size_t position = origin_.size(); position-- > 0;) {
        if (origin_[position] < 0)
            continue;
        moved.emplace_back(origin_[position], std::move(target.records.at(int(position))));
        target.records.removeAt(int(position));
    }
    std::sort(moved.begin(), moved.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [row, record] : moved)
        source.records.insertAt(row, std::move(record));
    restoreNumbers(target.records, targetNumbers_);
    restoreNumbers(source.records, sourceNumbers_);
}

RegisterRecordsChange::RegisterRecordsChange(const CustomerTree& tree, NamePath path,
                                             std::vector<MeasurementRecord> records,
                                             RegisterMode mode,
                                             const settings::AppSettings& settings)
    : path_(path),
      records_(std::move(records)),
      mode_(mode),
      conditions_(registerTemplate(nameAtPath(tree, path), settings)) {}

void RegisterRecordsChange::apply(CustomerTree& tree) {
    MeasurementName& target = nameAtPath(tree, path_);
    std::vector<int> numbers = numbersOf(target.records);
    filing_ = fileRecords(target, records_, mode_, conditions_);
    numbers_ = std::move(numbers);
}

void RegisterRecordsChange::revert(CustomerTree& tree) {
    RecordList& records = nameAtPath(tree, path_).records;
    for (size_t position = filing_.filed.size(); position-- > 0;) {
        if (filing_.filed[position])
            records.removeAt(int(position));
    }
    if (mode_ == RegisterMode::Replace)
        records = std::move(filing_.replaced);
    else
        restoreNumbers(records, numbers_);
    filing_ = {};
}

SetConditionsChange::SetConditionsChange(NamePath path, std::vector<int> rows,
                                         std::vector<TestConditions> conditions)
    : path_(path), rows_(std::move(rows)), conditions_(std::move(conditions)) {}

bool SetConditionsChange::changes(const CustomerTree& tree) const {
    const RecordList& records = nameAtPath(tree, path_).records;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (!(records.at(rows_[i]).cond == conditions_[i]))
            return true;
    }
    return false;
}

// The change and its revert are the same exchange of conditions.
void SetConditionsChange::swap(CustomerTree& tree) {
    RecordList& records = nameAtPath(tree, path_).records;
    for (size_t i = 0; i < rows_.size(); ++i)
        std::swap(records.at(rows_[i]).cond, conditions_[i]);
}

void SetConditionsChange::apply(CustomerTree& tree) {
    swap(tree);
}

void SetConditionsChange::revert(CustomerTree& tree) {
    swap(tree);
}

SetStartChange::SetStartChange(NamePath path, int row, support::DateTimeValue start)
    : path_(path), row_(row), start_(start) {}

bool SetStartChange::changes(const CustomerTree& tree) const {
    return !(nameAtPath(tree, path_).records.at(row_).testDateTime == start_);
}

void SetStartChange::swap(CustomerTree& tree) {
    std::swap(nameAtPath(tree, path_).records.at(row_).testDateTime, start_);
}

void SetStartChange::apply(CustomerTree& tree) {
    swap(tree);
}

void SetStartChange::revert(CustomerTree& tree) {
    swap(tree);
}

}  // namespace plm::model
