#include "model/name_join.h"

#include <utility>

#include "model/customer_tree.h"
#include "support/text_codec.h"

namespace plm::model {
namespace {

// A damaged file can join thousands of names; the notice lists the first ones.
constexpr size_t kListedJoins = 10;

}  // namespace

void NameJoins::note(const std::string& read, const std::string& kept) {
    ++total_;
    if (lines_.size() < kListedJoins)
        lines_.push_back(read + " \x81\xA8 " + kept);  // "→"
}

void NameJoins::clear() {
    lines_.clear();
    total_ = 0;
    partialRecords_ = false;
}

std::string NameJoins::message() const {
    std::string text =
        support::sj("同じ名前とみなされる名前が重なっていたため、一つにまとめました");
    for (const std::string& line : lines_)
        text += "\n" + line;
    if (static_cast<size_t>(total_) > lines_.size()) {
        text += "\n" + support::format(support::sj("ほか %d 件").c_str(),
                                       total_ - static_cast<int>(lines_.size()));
    }
    return text;
}

std::string childPath(const std::string* parent, const std::string& name) {
    return parent ? *parent + " / " + name : name;
}

void joinContent(Customer& kept, Customer&& read, NameJoins& joins, const std::string& keptPath,
                 const std::string& readPath) {
    joinChildren<TestCircuit>(kept.circuits, std::move(read.circuits), joins, keptPath, readPath);
}

void joinContent(TestCircuit& kept, TestCircuit&& read, NameJoins& joins,
                 const std::string& keptPath, const std::string& readPath) {
    joinChildren<MeasurementName>(kept.names, std::move(read.names), joins, keptPath, readPath);
}

void joinContent(MeasurementName& kept, MeasurementName&& read, NameJoins& /*joins*/,
                 const std::string& /*keptPath*/, const std::string& /*readPath*/) {
    const RecordList& records = read.records;
    for (const MeasurementRecord& record : records)
        kept.records.add(record);
    kept.records.renumber();
}

}  // namespace plm::model
