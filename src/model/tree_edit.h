#pragma once

#include <string>
#include <variant>
#include <vector>

#include "model/customer_tree.h"

// The edits the data management page makes on the customer tree: names at
// each of the three levels, and deleting or moving measurements. The page
// keeps the selection and the questions; the rules live here.
namespace plm::model {

enum class TreeLevel { Customer = 0, Circuit = 1, Name = 2 };

// Where a name list hangs: the positions of its parents. A level that needs a
// parent which is -1 has no list.
struct TreeParents {
    int customer = -1;
    int circuit = -1;
};

// The names of one level under `parents`, in sorted order; empty when a
// parent is missing.
std::vector<std::string> namesAt(const CustomerTree& tree, TreeLevel level, TreeParents parents);

// Whether a name that compares equal to `name` exists at that level.
bool nameExists(const CustomerTree& tree, TreeLevel level, TreeParents parents,
                const std::string& name);

// Adds `name` (or finds it) and returns its sorted position.
int addName(CustomerTree& tree, TreeLevel level, TreeParents parents, const std::string& name);

// Deletes the name at `position` with its whole subtree.
void removeName(CustomerTree& tree, TreeLevel level, TreeParents parents, int position);

// Renames the name at `position` and returns its new position. Refused with
// CxException ("指定の %s は既に存在しています\n%s" with `levelLabel`) when a
// sibling already has that name.
int renameName(CustomerTree& tree, TreeLevel level, TreeParents parents, int position,
               const std::string& newName, const std::string& levelLabel);

// A name taken out of the tree with its whole subtree, to be put back.
using TakenName = std::variant<Customer, TestCircuit, MeasurementName>;

// Takes the name at `position` out of the tree by move: its subtree is not
// copied, and putName gives it back.
TakenName takeName(CustomerTree& tree, TreeLevel level, TreeParents parents, int position);

// Puts a taken name back at its sorted place and returns the position. The
// level must be the one it was taken from.
int putName(CustomerTree& tree, TreeLevel level, TreeParents parents, TakenName&& taken);

// Deletes the measurements at `rows` (ascending positions) and returns them,
// moved out, in the order of `rows`. The others keep their numbers.
std::vector<MeasurementRecord> removeRecords(MeasurementName& node, const std::vector<int>& rows);

// Moves the measurements at `rows` (ascending positions) of `source` into
// `target` by date and time and renumbers both names. `target` may be
// `source` itself. Returns, for every position of `target` afterwards, the
// row of `source` its measurement came from, or -1 for one that was there.
std::vector<int> moveRecords(MeasurementName& source, const std::vector<int>& rows,
                             MeasurementName& target);

}  // namespace plm::model
