#pragma once

#include <string>
#include <vector>

#include "model/customer_tree.h"

// Three-way merge of customer trees, for two writers of one data file: the
// tree both started from (base), this program's tree (mine) and the one the
// other writer left on disk (theirs).
//
// Rules:
// - Nodes are matched by name on every level with the tree's own name
//   comparison. A node added on one side is kept; a node deleted on one side
//   and left unchanged on the other goes; a spelling changed on this side wins.
// - A measurement is identified by its full content (date and time, header,
//   samples and conditions) except its data number, which renumbering rewrites.
//   Editing a measurement's conditions therefore removes one measurement and
//   adds another. Under one measurement name the changes of both sides are
//   combined as counts per identity: additions and removals of either side are
//   applied, and the same addition or removal on both sides is applied once.
//   A list that took in changes of both sides is renumbered 1, 2, 3 ...
// - True conflicts, where no combination keeps both sides' work:
//   * the same measurement (same date, header and samples) removed on both
//     sides and re-added with different conditions: edited on both sides;
//   * a measurement name deleted on one side whose records changed on the
//     other (gained records there, for one).
//   A conflicting measurement name takes the list of the preferred side whole.
// - The line settings changed on this side win; else those on disk stay.
namespace plm::model {

// A measurement a conflict concerns, and what each side did to it.
struct ConflictRecord {
    enum class Change { None, Added, Removed, Edited };
    std::string dataNo;  // as shown: the base's number, or the adding side's
    std::string dateTime;
    Change mine = Change::None;
    Change theirs = Change::None;
};

struct MergeConflict {
    enum class Kind {
        EditedOnBothSides,
        DeletedHereChangedThere,
        ChangedHereDeletedThere,
    };
    Kind kind;
    std::string customer;  // CP932 names of the measurement name concerned
    std::string circuit;
    std::string name;
    // The measurements the sides treated differently, the base's first.
    std::vector<ConflictRecord> records = {};
};

enum class MergeSide { Mine, Theirs };

struct MergeResult {
    CustomerTree tree;
    std::vector<MergeConflict> conflicts;
};

// `preferred` decides the conflicting measurement names (see above).
MergeResult mergeTrees(const CustomerTree& base, const CustomerTree& mine,
                       const CustomerTree& theirs, MergeSide preferred);

// The same record but for its data number, which renumbering rewrites: how the
// merge, and a restore from a backup, tell that a measurement is there already.
bool sameRecordContent(const MeasurementRecord& a, const MeasurementRecord& b);

// Same line settings, names (spelled alike) and records on every level.
bool sameTree(const CustomerTree& a, const CustomerTree& b);

}  // namespace plm::model
