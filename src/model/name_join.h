#pragma once

#include <string>
#include <utility>
#include <vector>

#include "model/named_collection.h"

// Joining children that the name comparison counts as the same name. A data
// or export file written elsewhere (or damaged) can hold "N" and "n" under
// one parent; reading keeps one node under the first spelling read and every
// record of each, and says which names were joined.
namespace plm::model {

struct Customer;
struct TestCircuit;
struct MeasurementName;
struct ScannedCustomer;
struct ScannedCircuit;
struct ScannedName;

// The joins of one read, in reading order, for the notice shown after it.
class NameJoins {
  public:
    // `read` (the path as read) was joined into `kept`; paths are the names
    // from the customer down, CP932.
    void note(const std::string& read, const std::string& kept);
    bool empty() const { return total_ == 0; }
    void clear();

    // The notice (CP932): the joins listed one a line, the first ones only
    // when there are many.
    std::string message() const;

    // A joined name of a scan had only part of its records kept, so its
    // records as joined are not known (see DataFileOutline).
    bool partialRecords() const { return partialRecords_; }
    void markPartialRecords() { partialRecords_ = true; }

  private:
    std::vector<std::string> lines_;
    int total_ = 0;
    bool partialRecords_ = false;
};

// The path of a child below `parent` (none for a customer).
std::string childPath(const std::string* parent, const std::string& name);

// Moves the whole content of `read` into `kept`, which has the same name:
// children of the same name are joined in turn, the records of a measurement
// name go to their places in date-time order and are numbered again.
// `keptPath` and `readPath` are the paths of the two nodes.
void joinContent(Customer& kept, Customer&& read, NameJoins& joins, const std::string& keptPath,
                 const std::string& readPath);
void joinContent(TestCircuit& kept, TestCircuit&& read, NameJoins& joins,
                 const std::string& keptPath, const std::string& readPath);
void joinContent(MeasurementName& kept, MeasurementName&& read, NameJoins& joins,
                 const std::string& keptPath, const std::string& readPath);
void joinContent(ScannedCustomer& kept, ScannedCustomer&& read, NameJoins& joins,
                 const std::string& keptPath, const std::string& readPath);
void joinContent(ScannedCircuit& kept, ScannedCircuit&& read, NameJoins& joins,
                 const std::string& keptPath, const std::string& readPath);
void joinContent(ScannedName& kept, ScannedName&& read, NameJoins& joins,
                 const std::string& keptPath, const std::string& readPath);

// Adds `child`, read below the parents at keptParent (as kept) and readParent
// (as read; both none for a customer), to `children`; a child already there
// with the same name takes child's content instead, and the join is noted.
template <class T>
void addJoining(NamedCollection<T>& children, T&& child, NameJoins& joins,
                const std::string* keptParent = nullptr, const std::string* readParent = nullptr) {
    const int before = children.count();
    const int position = children.findOrAdd(child.name);
    T& kept = children.at(position);
    if (children.count() > before) {
        kept = std::move(child);
        return;
    }
    const std::string keptPath = childPath(keptParent, kept.name);
    const std::string readPath = childPath(readParent, child.name);
    joins.note(readPath, keptPath);
    joinContent(kept, std::move(child), joins, keptPath, readPath);
}

// Joins every child of `read` into `kept`, the children of two nodes of
// the same name at keptPath and readPath.
template <class Node, class Children>
void joinChildren(Children& kept, Children&& read, NameJoins& joins, const std::string& keptPath,
                  const std::string& readPath) {
    for (Node& child : read)
        addJoining(kept, std::move(child), joins, &keptPath, &readPath);
}

}  // namespace plm::model
