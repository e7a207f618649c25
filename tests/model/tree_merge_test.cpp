#include "model/tree_merge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tree_test_util.h"

namespace plm::model {
namespace {

// A measurement name with records given by seed; a negative seed is the
// record of that seed with its conditions edited here, "edit" + 100 × seed
// an edit on the other side.
struct Leaf {
    std::string customer, circuit, name;
    std::vector<int> seeds;
};

MeasurementRecord recordOf(int seed) {
    if (seed >= 100) {
        MeasurementRecord r = test::richRecord(seed / 100);
        r.cond.comment = "theirs-edit";
        return r;
    }
    MeasurementRecord r = test::richRecord(seed < 0 ? -seed : seed);
    if (seed < 0)
        r.cond.comment = "mine-edit";
    return r;
}

CustomerTree treeOf(const std::vector<Leaf>& leaves) {
    CustomerTree tree;
    for (const Leaf& leaf : leaves) {
        MeasurementName& name =
            findOrAddMeasurementName(tree, leaf.customer, leaf.circuit, leaf.name);
        for (int seed : leaf.seeds)
            name.records.add(recordOf(seed));
        name.records.renumber();
    }
    return tree;
}

// "customer/circuit/name: comment dataNo, ..." per measurement name.
std::vector<std::string> summary(const CustomerTree& tree) {
    std::vector<std::string> out;
    for (const Customer& c : tree.customers) {
        for (const TestCircuit& t : c.circuits) {
            for (const MeasurementName& n : t.names) {
                std::string line = c.name + "/" + t.name + "/" + n.name + ":";
                for (const MeasurementRecord& r : n.records)
                    line += " " + r.cond.comment + "#" + std::to_string(r.dataNo);
                out.push_back(line);
            }
        }
    }
    return out;
}

TEST(TreeMerge, CombinesTheChangesOfBothSides) {
    const Leaf base12{"A", "t", "n", {1, 2}};
    struct Case {
        const char* what;
        std::vector<Leaf> mine, theirs;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"a name added there beside an edit here",
         {{"A", "t", "n", {-1, 2}}},
         {base12, {"B", "x", "m", {5}}},
         {"A/t/n: mine-edit#1 comment2#2", "B/x/m: comment5#1"}},
        {"records registered on both sides under one name",
         {{"A", "t", "n", {1, 2, 3}}},
         {{"A", "t", "n", {1, 2, 4}}},
         {"A/t/n: comment1#1 comment2#2 comment3#3 comment4#4"}},
        {"the same record registered on both sides is kept once",
         {{"A", "t", "n", {1, 2, 3}}},
         {{"A", "t", "n", {1, 2, 3}}, {"B", "x", "m", {5}}},
         {"A/t/n: comment1#1 comment2#2 comment3#3", "B/x/m: comment5#1"}},
        {"a record deleted here while one was registered there",
         {{"A", "t", "n", {2}}},
         {{"A", "t", "n", {1, 2, 4}}},
         {"A/t/n: comment2#1 comment4#2"}},
        {"a name deleted here that is unchanged there",
         {{"A", "t", "other", {7}}},
         {base12},
         {"A/t/other: comment7#1"}},
        {"the letter case of a name changed here",
         {{"a", "t", "N", {1, 2}}},
         {{"A", "t", "n", {1, 2, 3}}},
         {"a/t/N: comment1#1 comment2#2 comment3#3"}},
    };
    for (const Case& c : cases) {
        const MergeResult result =
            mergeTrees(treeOf({base12}), treeOf(c.mine), treeOf(c.theirs), MergeSide::Mine);
        EXPECT_TRUE(result.conflicts.empty()) << c.what;
        EXPECT_EQ(summary(result.tree), c.expected) << c.what;
    }
}

TEST(TreeMerge, TrueConflictsTakeThePreferredSideWhole) {
    const std::vector<Leaf> base = {{"A", "t", "n", {1, 2}}, {"A", "t", "keep", {3}}};
    struct Case {
        const char* what;
        std::vector<Leaf> mine, theirs;
        MergeConflict::Kind kind;
        std::vector<std::string> keepMine, keepTheirs;
        // "No.:mine theirs" per measurement concerned: + added, x removed,
        // ~ other conditions, . nothing done.
        std::vector<std::string> records;
    };
    const Case cases[] = {
        {"one record edited on both sides",
         {{"A", "t", "n", {-1, 2}}, {"A", "t", "keep", {3}}},
         {{"A", "t", "n", {100, 2}}, {"A", "t", "keep", {3, 4}}},
         MergeConflict::Kind::EditedOnBothSides,
         {"A/t/keep: comment3#1 comment4#2", "A/t/n: mine-edit#1 comment2#2"},
         {"A/t/keep: comment3#1 comment4#2", "A/t/n: theirs-edit#1 comment2#2"},
         {"1:~~"}},
        {"a name deleted here that gained records there",
         {{"A", "t", "keep", {3}}},
         {{"A", "t", "n", {1, 2, 5}}, {"A", "t", "keep", {3}}},
         MergeConflict::Kind::DeletedHereChangedThere,
         {"A/t/keep: comment3#1"},
         {"A/t/keep: comment3#1", "A/t/n: comment1#1 comment2#2 comment5#3"},
         {"1:x.", "2:x.", "3:.+"}},
        {"a name that gained records here, deleted there",
         {{"A", "t", "n", {1, 2, 5}}, {"A", "t", "keep", {3}}},
         {{"A", "t", "keep", {3}}},
         MergeConflict::Kind::ChangedHereDeletedThere,
         {"A/t/keep: comment3#1", "A/t/n: comment1#1 comment2#2 comment5#3"},
         {"A/t/keep: comment3#1"},
         {"1:.x", "2:.x", "3:+."}},
    };
    for (const Case& c : cases) {
        for (MergeSide side : {MergeSide::Mine, MergeSide::Theirs}) {
            const MergeResult result =
                mergeTrees(treeOf(base), treeOf(c.mine), treeOf(c.theirs), side);
            ASSERT_EQ(result.conflicts.size(), 1u) << c.what;
            EXPECT_EQ(result.conflicts[0].kind, c.kind) << c.what;
            EXPECT_EQ(result.conflicts[0].name, "n") << c.what;
            std::vector<std::string> records;
            for (const ConflictRecord& r : result.conflicts[0].records) {
                records.push_back(r.dataNo + ":" + ".+x~"[static_cast<int>(r.mine)] +
                                  ".+x~"[static_cast<int>(r.theirs)]);
                EXPECT_EQ(r.dateTime.size(), 16u) << c.what;
            }
            EXPECT_EQ(records, c.records) << c.what;
            EXPECT_EQ(summary(result.tree), side == MergeSide::Mine ? c.keepMine : c.keepTheirs)
                << c.what;
        }
    }
}

TEST(TreeMerge, LineSettingsChangedHereWinElseTheDiskOnesStay) {
    CustomerTree base;
    CustomerTree changed;
    changed.lineSettings.port = 7;
    EXPECT_EQ(mergeTrees(base, base, changed, MergeSide::Mine).tree.lineSettings.port, 7);
    EXPECT_EQ(mergeTrees(base, changed, base, MergeSide::Mine).tree.lineSettings.port, 7);
}

TEST(TreeMerge, SameTreeSeesSpellingRecordsAndSettings) {
    const CustomerTree tree = treeOf({{"A", "t", "n", {1, 2}}});
    EXPECT_TRUE(sameTree(tree, treeOf({{"A", "t", "n", {1, 2}}})));
    EXPECT_FALSE(sameTree(tree, treeOf({{"a", "t", "n", {1, 2}}})));
    EXPECT_FALSE(sameTree(tree, treeOf({{"A", "t", "n", {-1, 2}}})));
    EXPECT_FALSE(sameTree(tree, treeOf({{"A", "t", "n", {1, 2}}, {"A", "u", "n", {}}})));
    CustomerTree otherPort = tree;
    otherPort.lineSettings.port = 2;
    EXPECT_FALSE(sameTree(tree, otherPort));
}

}  // namespace
}  // namespace plm::model
