#include "model/tree_merge.h"

#include <algorithm>
#include <array>
#include <map>
#include <string_view>

#include "model/name_compare.h"
#include "model/record_register.h"

namespace plm::model {
namespace {

// customer / circuit / name; fewer parts for the upper levels.
using Path = std::vector<std::string_view>;

struct PathLess {
    bool operator()(const Path& a, const Path& b) const {
        for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
            if (int c = compareNames(a[i], b[i]); c != 0)
                return c < 0;
        }
        return a.size() < b.size();
    }
};

// The nodes of one tree, by path: the spelling of the last part and, for a
// measurement name, its records.
struct NodeInfo {
    std::string_view spelling;
    const RecordList* records = nullptr;
};
using NodeMap = std::map<Path, NodeInfo, PathLess>;

NodeMap nodesOf(const CustomerTree& tree) {
    NodeMap nodes;
    for (const Customer& c : tree.customers) {
        nodes[{c.name}] = {c.name, nullptr};
        for (const TestCircuit& t : c.circuits) {
            nodes[{c.name, t.name}] = {t.name, nullptr};
            for (const MeasurementName& n : t.names)
                nodes[{c.name, t.name, n.name}] = {n.name, &n.records};
        }
    }
    return nodes;
}

const NodeInfo* lookup(const NodeMap& nodes, const Path& path) {
    auto it = nodes.find(path);
    return it == nodes.end() ? nullptr : &it->second;
}

// Cheap fields first: most pairs differ there, and the full comparisons
// below copy a record.
bool maySame(const MeasurementRecord& a, const MeasurementRecord& b) {
    return a.testDateTime == b.testDateTime && a.contacts.size() == b.contacts.size();
}

}  // namespace

bool sameRecordContent(const MeasurementRecord& a, const MeasurementRecord& b) {
    if (!maySame(a, b))
        return false;
    if (a.dataNo == b.dataNo)
        return a == b;
    MeasurementRecord copy = b;
    copy.dataNo = a.dataNo;
    return a == copy;
}

namespace {

bool sameList(const RecordList* a, const RecordList* b) {
    if (!a || !b)
        return a == b;
    return *a == *b;
}

// Distinct identities of a list with their counts.
struct Tally {
    std::vector<const MeasurementRecord*> records;
    std::vector<int> counts;

    void add(const MeasurementRecord& r) {
        for (size_t i = 0; i < records.size(); ++i) {
            if (sameRecordContent(*records[i], r)) {
                ++counts[i];
                return;
            }
        }
        records.push_back(&r);
        counts.push_back(1);
    }
    int countOf(const MeasurementRecord& r) const {
        for (size_t i = 0; i < records.size(); ++i) {
            if (sameRecordContent(*records[i], r))
                return counts[i];
        }
        return 0;
    }
};

Tally tallyOf(const RecordList* list) {
    Tally tally;
    if (list) {
        for (const MeasurementRecord& r : *list)
            tally.add(r);
    }
    return tally;
}

// One side's change of a count, combined with the other's: the same change
// on both sides counts once.
int combinedDelta(int mine, int theirs) {
    if (mine > 0 && theirs > 0)
        return std::max(mine, theirs);
    if (mine < 0 && theirs < 0)
        return std::min(mine, theirs);
    return mine + theirs;
}

bool addedWithOtherConditions(const Tally& side, const Tally& base, const MeasurementRecord& gone,
                              const MeasurementRecord** added) {
    for (size_t i = 0; i < side.records.size(); ++i) {
        const MeasurementRecord& r = *side.records[i];
        if (side.counts[i] > base.countOf(r) && sameMeasurement(r, gone)) {
            *added = &r;
            return true;
        }
    }
    return false;
}

// A measurement of the base that both sides replaced by different edits.
bool editedOnBothSides(const Tally& base, const Tally& mine, const Tally& theirs) {
    for (const MeasurementRecord* gone : base.records) {
        const int before = base.countOf(*gone);
        if (mine.countOf(*gone) >= before || theirs.countOf(*gone) >= before)
            continue;
        const MeasurementRecord* editMine = nullptr;
        const MeasurementRecord* editTheirs = nullptr;
        if (addedWithOtherConditions(mine, base, *gone, &editMine) &&
            addedWithOtherConditions(theirs, base, *gone, &editTheirs) &&
            !sameRecordContent(*editMine, *editTheirs)) {
            return true;
        }
    }
    return false;
}

// Both sides changed the list: mine, with the changes of theirs applied.
RecordList combinedList(const RecordList* base, const RecordList& mine, const RecordList& theirs) {
    const Tally b = tallyOf(base);
    const Tally m = tallyOf(&mine);
    const Tally t = tallyOf(&theirs);
    Tally all = b;
    for (const MeasurementRecord& r : mine)
        all.add(r);
    for (const MeasurementRecord& r : theirs)
        all.add(r);

    RecordList out = mine;
    bool changed = false;
    for (const MeasurementRecord* r : all.records) {
        const int want = b.countOf(*r) + combinedDelta(m.countOf(*r) - b.countOf(*r),
                                                       t.countOf(*r) - b.countOf(*r));
        int have = m.countOf(*r);
        for (int i = out.count() - 1; i >= 0 && have > want; --i) {
            if (sameRecordContent(out.at(i), *r)) {
                out.removeAt(i);
                --have;
                changed = true;
            }
        }
        for (; have < want; ++have) {
            out.add(*r);
            changed = true;
        }
    }
    if (changed)
        out.renumber();
    return out;
}

ConflictRecord::Change changeOf(const RecordList* side, const Tally& sideTally, const Tally& base,
                                const MeasurementRecord& r) {
    if (side && sideTally.countOf(r) >= base.countOf(r))
        return ConflictRecord::Change::None;
    const MeasurementRecord* edit = nullptr;
    return side && addedWithOtherConditions(sideTally, base, r, &edit)
               ? ConflictRecord::Change::Edited
               : ConflictRecord::Change::Removed;
}

// What each side did to the measurements of a conflicting measurement name.
std::vector<ConflictRecord> conflictRecords(const RecordList* b, const RecordList* m,
                                            const RecordList* t) {
    const Tally base = tallyOf(b);
    const Tally mine = tallyOf(m);
    const Tally theirs = tallyOf(t);
    std::vector<ConflictRecord> out;
    for (const MeasurementRecord* r : base.records) {
        ConflictRecord c{r->dataNoText(), r->testDateTimeText(), changeOf(m, mine, base, *r),
                         changeOf(t, theirs, base, *r)};
        if (c.mine != ConflictRecord::Change::None || c.theirs != ConflictRecord::Change::None)
            out.push_back(std::move(c));
    }
    // Additions that are not a base measurement with other conditions.
    std::vector<std::pair<const MeasurementRecord*, size_t>> addedHere;  // with its entry
    for (const Tally* side : {&mine, &theirs}) {
        for (size_t i = 0; i < side->records.size(); ++i) {
            const MeasurementRecord& r = *side->records[i];
            if (side->counts[i] <= base.countOf(r) ||
                std::any_of(base.records.begin(), base.records.end(),
                            [&r](const MeasurementRecord* g) { return sameMeasurement(r, *g); }))
                continue;
            if (side == &mine) {
                addedHere.emplace_back(&r, out.size());
                out.push_back(
                    {r.dataNoText(), r.testDateTimeText(), ConflictRecord::Change::Added});
                continue;
            }
            const auto both = std::find_if(addedHere.begin(), addedHere.end(), [&r](const auto& h) {
                return sameRecordContent(*h.first, r);
            });
            if (both != addedHere.end())
                out[both->second].theirs = ConflictRecord::Change::Added;
            else
                out.push_back({r.dataNoText(), r.testDateTimeText(), ConflictRecord::Change::None,
                               ConflictRecord::Change::Added});
        }
    }
    return out;
}

struct LeafOutcome {
    const RecordList* take = nullptr;  // a side's list as it is
    bool combine = false;              // both sides' changes combined
    bool conflict = false;
    MergeConflict::Kind kind = MergeConflict::Kind::EditedOnBothSides;
};

LeafOutcome mergeLeaf(const RecordList* b, const RecordList* m, const RecordList* t,
                      MergeSide preferred) {
    LeafOutcome out;
    if (sameList(m, b)) {
        out.take = t;
    } else if (sameList(t, b) || sameList(m, t)) {
        out.take = m;
    } else if (b && (!m || !t)) {
        out.conflict = true;
        out.kind = m ? MergeConflict::Kind::ChangedHereDeletedThere
                     : MergeConflict::Kind::DeletedHereChangedThere;
        out.take = preferred == MergeSide::Mine ? m : t;
    } else if (editedOnBothSides(tallyOf(b), tallyOf(m), tallyOf(t))) {
        out.conflict = true;
        out.take = preferred == MergeSide::Mine ? m : t;
    } else {
        out.combine = true;
    }
    return out;
}

// The spelling of a node: changed on this side wins, else the disk's.
std::string_view spellingOf(const NodeInfo* b, const NodeInfo* m, const NodeInfo* t) {
    if (m && (!t || (b && b->spelling != m->spelling)))
        return m->spelling;
    return t ? t->spelling : m->spelling;
}

// Present after the merge, for a customer or circuit node.
bool keepsNode(const NodeInfo* b, const NodeInfo* m, const NodeInfo* t) {
    const bool changedHere = (b != nullptr) != (m != nullptr);
    return changedHere ? m != nullptr : t != nullptr;
}

template <class Coll>
auto& childNamed(Coll& coll, std::string_view name) {
    return coll.at(coll.findOrAdd(name));
}

}  // namespace

MergeResult mergeTrees(const CustomerTree& base, const CustomerTree& mine,
                       const CustomerTree& theirs, MergeSide preferred) {
    const NodeMap b = nodesOf(base);
    const NodeMap m = nodesOf(mine);
    const NodeMap t = nodesOf(theirs);
    std::map<Path, bool, PathLess> paths;
    for (const NodeMap* nodes : {&b, &m, &t}) {
        for (const auto& entry : *nodes)
            paths[entry.first] = true;
    }

    MergeResult result;
    result.tree.devType = mine.devType;
    result.tree.lineSettings =
        mine.lineSettings == base.lineSettings ? theirs.lineSettings : mine.lineSettings;
    // The map's order puts every parent before its children.
    for (const auto& entry : paths) {
        const Path& path = entry.first;
        const NodeInfo* nb = lookup(b, path);
        const NodeInfo* nm = lookup(m, path);
        const NodeInfo* nt = lookup(t, path);
        const std::string_view spelling = spellingOf(nb, nm, nt);
        if (path.size() < 3) {
            if (!keepsNode(nb, nm, nt))
                continue;
            Customer& customer =
                childNamed(result.tree.customers, path.size() == 1 ? spelling : path[0]);
            if (path.size() == 2)
                childNamed(customer.circuits, spelling);
            continue;
        }
        const RecordList* rb = nb ? nb->records : nullptr;
        const RecordList* rm = nm ? nm->records : nullptr;
        const RecordList* rt = nt ? nt->records : nullptr;
        const LeafOutcome leaf = mergeLeaf(rb, rm, rt, preferred);
        if (leaf.conflict) {
            result.conflicts.push_back({leaf.kind, std::string(path[0]), std::string(path[1]),
                                        std::string(path[2]), conflictRecords(rb, rm, rt)});
        }
        if (!leaf.take && !leaf.combine)
            continue;
        Customer& customer = childNamed(result.tree.customers, path[0]);
        TestCircuit& circuit = childNamed(customer.circuits, path[1]);
        MeasurementName& name = childNamed(circuit.names, spelling);
        name.records = leaf.combine ? combinedList(rb, *rm, *rt) : *leaf.take;
    }
    return result;
}

bool sameTree(const CustomerTree& a, const CustomerTree& b) {
    if (!(a.lineSettings == b.lineSettings))
        return false;
    const NodeMap na = nodesOf(a);
    const NodeMap nb = nodesOf(b);
    if (na.size() != nb.size())
        return false;
    for (auto ia = na.begin(), ib = nb.begin(); ia != na.end(); ++ia, ++ib) {
        if (PathLess()(ia->first, ib->first) || PathLess()(ib->first, ia->first))
            return false;
        if (ia->second.spelling != ib->second.spelling ||
            !sameList(ia->second.records, ib->second.records)) {
            return false;
        }
    }
    return true;
}

}  // namespace plm::model
