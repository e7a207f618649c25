#include "model/tree_edit.h"

#include <gtest/gtest.h>

#include "support/cx_exception.h"
#include "tree_test_util.h"

namespace plm::model {
namespace {

using test::richRecord;

// Customer A / circuit C / names N1 and N2, plus customer B.
CustomerTree sampleTree() {
    CustomerTree tree;
    findOrAddMeasurementName(tree, "A", "C", "N1");
    findOrAddMeasurementName(tree, "A", "C", "N2");
    tree.customers.findOrAdd("B");
    return tree;
}

struct LevelCase {
    TreeLevel level;
    TreeParents parents;
    std::vector<std::string> before;
};

const LevelCase kLevels[] = {
    {TreeLevel::Customer, {}, {"A", "B"}},
    {TreeLevel::Circuit, {0, -1}, {"C"}},
    {TreeLevel::Name, {0, 0}, {"N1", "N2"}},
};

TEST(TreeEdit, EachLevelAddsRenamesAndRemovesItsOwnNames) {
    for (const LevelCase& c : kLevels) {
        SCOPED_TRACE(int(c.level));
        CustomerTree tree = sampleTree();
        EXPECT_EQ(namesAt(tree, c.level, c.parents), c.before);

        EXPECT_FALSE(nameExists(tree, c.level, c.parents, "0first"));
        EXPECT_EQ(addName(tree, c.level, c.parents, "0first"), 0);
        EXPECT_TRUE(nameExists(tree, c.level, c.parents, "0First"));
        EXPECT_EQ(addName(tree, c.level, c.parents, "0FIRST"), 0) << "found, not added twice";
        EXPECT_EQ(namesAt(tree, c.level, c.parents).size(), c.before.size() + 1);

        EXPECT_EQ(renameName(tree, c.level, c.parents, 0, "zlast", "label"), int(c.before.size()));
        EXPECT_EQ(namesAt(tree, c.level, c.parents).back(), "zlast");
        EXPECT_THROW(renameName(tree, c.level, c.parents, 0, "ZLAST", "label"), CxException);

        removeName(tree, c.level, c.parents, int(c.before.size()));
        EXPECT_EQ(namesAt(tree, c.level, c.parents), c.before);
    }
}

TEST(TreeEdit, LevelWithoutItsParentHasNoNamesAndRefusesEdits) {
    CustomerTree tree = sampleTree();
    EXPECT_TRUE(namesAt(tree, TreeLevel::Circuit, {-1, -1}).empty());
    EXPECT_TRUE(namesAt(tree, TreeLevel::Name, {0, -1}).empty());
    EXPECT_TRUE(namesAt(tree, TreeLevel::Name, {1, -1}).empty());
    EXPECT_THROW(addName(tree, TreeLevel::Name, {0, -1}, "x"), std::invalid_argument);
    EXPECT_THROW(removeName(tree, TreeLevel::Circuit, {-1, -1}, 0), std::invalid_argument);
}

TEST(TreeEdit, RemovedSubtreeGoesWithItsName) {
    CustomerTree tree = sampleTree();
    findOrAddMeasurementName(tree, "A", "C", "N1").records.add(richRecord(1));
    removeName(tree, TreeLevel::Customer, {}, 0);
    EXPECT_EQ(findMeasurementName(tree, "A", "C", "N1"), nullptr);
    EXPECT_EQ(namesAt(tree, TreeLevel::Customer, {}), std::vector<std::string>{"B"});
}

std::vector<int> dataNos(const MeasurementName& n) {
    std::vector<int> out;
    for (const MeasurementRecord& r : n.records)
        out.push_back(r.dataNo);
    return out;
}

std::vector<int> seeds(const MeasurementName& n) {
    std::vector<int> out;
    for (const MeasurementRecord& r : n.records)
        out.push_back(r.opSignal - 1);
    return out;
}

TEST(TreeEdit, MovingRecordsRenumbersSourceAndTarget) {
    CustomerTree tree = sampleTree();
    MeasurementName& source = findOrAddMeasurementName(tree, "A", "C", "N1");
    MeasurementName& target = findOrAddMeasurementName(tree, "A", "C", "N2");
    for (int seed : {1, 2, 3, 4})
        source.records.add(richRecord(seed));
    target.records.add(richRecord(5));

    EXPECT_EQ(moveRecords(source, {0, 2}, target), (std::vector<int>{0, 2, -1}))
        << "where each measurement of the target came from";
    EXPECT_EQ(seeds(source), (std::vector<int>{2, 4}));
    EXPECT_EQ(seeds(target), (std::vector<int>{1, 3, 5})) << "filed by date and time";
    EXPECT_EQ(dataNos(source), (std::vector<int>{1, 2}));
    EXPECT_EQ(dataNos(target), (std::vector<int>{1, 2, 3}));
}

TEST(TreeEdit, MovingRecordsIntoTheirOwnNameKeepsEveryOneExactlyOnce) {
    CustomerTree tree = sampleTree();
    MeasurementName& node = findOrAddMeasurementName(tree, "A", "C", "N1");
    for (int seed : {1, 2, 3, 4})
        node.records.add(richRecord(seed));
    moveRecords(node, {1, 3}, node);
    EXPECT_EQ(seeds(node), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(dataNos(node), (std::vector<int>{1, 2, 3, 4}));
}

TEST(TreeEdit, RemovingRecordsKeepsTheOthersAndTheirNumbers) {
    MeasurementName node;
    for (int seed : {1, 2, 3})
        node.records.add(richRecord(seed));
    const std::vector<MeasurementRecord> removed = removeRecords(node, {0, 2});
    EXPECT_EQ(seeds(node), std::vector<int>{2});
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_EQ(removed[0].opSignal, 2) << "in the order of the rows";
    EXPECT_EQ(removed[1].opSignal, 4);
    EXPECT_EQ(dataNos(node), std::vector<int>{2});
}

}  // namespace
}  // namespace plm::model
