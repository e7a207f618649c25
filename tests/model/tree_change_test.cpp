#include "model/tree_change.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "model/data_file.h"
#include "support/cx_exception.h"
#include "tree_test_util.h"

namespace plm::model {
namespace {

using test::richRecord;

// Customer A / circuit C / names N1 (four measurements numbered 10..40, as a
// delete leaves them) and N2 (empty), and customer B / C / N1 (two).
CustomerTree sampleTree() {
    CustomerTree tree;
    RecordList& a = findOrAddMeasurementName(tree, "A", "C", "N1").records;
    for (int seed : {1, 3, 5, 7})
        a.add(richRecord(seed));
    for (int i = 0; i < a.count(); ++i)
        a.at(i).dataNo = 10 * (i + 1);
    findOrAddMeasurementName(tree, "A", "C", "N2");
    RecordList& b = findOrAddMeasurementName(tree, "B", "C", "N1").records;
    b.add(richRecord(2));
    b.add(richRecord(6));
    return tree;
}

constexpr NamePath kA1{0, 0, 0};
constexpr NamePath kA2{0, 0, 1};
constexpr NamePath kB1{1, 0, 0};

TestConditions editedConditions() {
    TestConditions c = richRecord(9).cond;
    c.weather = "snow";
    return c;
}

struct ChangeCase {
    const char* what;
    std::function<std::unique_ptr<TreeChange>(const CustomerTree&)> make;
    // Something the change must have done, looked at after apply.
    std::function<bool(const CustomerTree&)> done;
};

const ChangeCase kChanges[] = {
    {"add a customer",
     [](const CustomerTree&) {
         return std::make_unique<AddNameChange>(TreeLevel::Customer, TreeParents{}, "0new");
     },
     [](const CustomerTree& t) { return t.customers.at(0).name == "0new"; }},
    {"add a circuit",
     [](const CustomerTree&) {
         return std::make_unique<AddNameChange>(TreeLevel::Circuit, TreeParents{1, -1}, "D");
     },
     [](const CustomerTree& t) { return t.customers.at(1).circuits.count() == 2; }},
    {"add a measurement name",
     [](const CustomerTree&) {
         return std::make_unique<AddNameChange>(TreeLevel::Name, TreeParents{0, 0}, "N0");
     },
     [](const CustomerTree& t) { return findMeasurementName(t, "A", "C", "N0") != nullptr; }},
    {"delete a customer with its subtree",
     [](const CustomerTree&) {
         return std::make_unique<RemoveNameChange>(TreeLevel::Customer, TreeParents{}, 0);
     },
     [](const CustomerTree& t) { return t.customers.count() == 1; }},
    {"delete a circuit",
     [](const CustomerTree&) {
         return std::make_unique<RemoveNameChange>(TreeLevel::Circuit, TreeParents{1, -1}, 0);
     },
     [](const CustomerTree& t) { return t.customers.at(1).circuits.empty(); }},
    {"delete a measurement name",
     [](const CustomerTree&) {
         return std::make_unique<RemoveNameChange>(TreeLevel::Name, TreeParents{0, 0}, 0);
     },
     [](const CustomerTree& t) { return findMeasurementName(t, "A", "C", "N1") == nullptr; }},
    {"rename a customer to a later place",
     [](const CustomerTree&) {
         return std::make_unique<RenameNameChange>(TreeLevel::Customer, TreeParents{}, 0, "Z", "L");
     },
     [](const CustomerTree& t) { return t.customers.at(1).name == "Z"; }},
    {"rename in place, letter case only",
     [](const CustomerTree&) {
         return std::make_unique<RenameNameChange>(TreeLevel::Name, TreeParents{0, 0}, 1, "n2",
                                                   "L");
     },
     [](const CustomerTree& t) { return findMeasurementName(t, "A", "C", "N2")->name == "n2"; }},
    {"delete measurements",
     [](const CustomerTree&) {
         return std::make_unique<RemoveRecordsChange>(kA1, std::vector{0, 2});
     },
     [](const CustomerTree& t) { return nameAtPath(t, kA1).records.count() == 2; }},
    {"move measurements to another name",
     [](const CustomerTree&) {
         return std::make_unique<MoveRecordsChange>(kA1, std::vector{1, 3}, kB1);
     },
     [](const CustomerTree& t) { return nameAtPath(t, kB1).records.count() == 4; }},
    {"move measurements into their own name",
     [](const CustomerTree&) {
         return std::make_unique<MoveRecordsChange>(kA1, std::vector{0, 3}, kA1);
     },
     [](const CustomerTree& t) { return nameAtPath(t, kA1).records.at(0).dataNo == 1; }},
    {"register, adding to the measurements there",
     [](const CustomerTree& t) {
         return std::make_unique<RegisterRecordsChange>(
             t, kA1, std::vector{richRecord(4), richRecord(8)}, RegisterMode::Append,
             settings::AppSettings{});
     },
     [](const CustomerTree& t) {
         const RecordList& r = nameAtPath(t, kA1).records;
         return r.count() == 6 && r.at(2).opSignal == 5 && r.at(2).cond == r.at(0).cond;
     }},
    {"erase all existing and register",
     [](const CustomerTree& t) {
         return std::make_unique<RegisterRecordsChange>(
             t, kA1, std::vector{richRecord(4)}, RegisterMode::Replace, settings::AppSettings{});
     },
     [](const CustomerTree& t) { return nameAtPath(t, kA1).records.count() == 1; }},
    {"register under a name without measurements",
     [](const CustomerTree& t) {
         return std::make_unique<RegisterRecordsChange>(
             t, kA2, std::vector{richRecord(4), richRecord(2)}, RegisterMode::Append,
             settings::AppSettings{});
     },
     [](const CustomerTree& t) { return nameAtPath(t, kA2).records.at(1).dataNo == 2; }},
    {"conditions of several measurements",
     [](const CustomerTree&) {
         return std::make_unique<SetConditionsChange>(
             kA1, std::vector{1, 2}, std::vector{editedConditions(), editedConditions()});
     },
     [](const CustomerTree& t) { return nameAtPath(t, kA1).records.at(2).cond.weather == "snow"; }},
    {"start date and time",
     [](const CustomerTree&) {
         return std::make_unique<SetStartChange>(kA1, 2, test::dateAt(2030, 12, 24, 8, 15, 0));
     },
     [](const CustomerTree& t) {
         return nameAtPath(t, kA1).records.at(2).testDateTime ==
                test::dateAt(2030, 12, 24, 8, 15, 0);
     }},
};

// Every kind of change, taken back and made again twice over, gives the tree
// back byte for byte as it saves.
TEST(TreeChange, RevertGivesBackTheTreeAndApplyMakesTheSameChangeAgain) {
    for (const ChangeCase& c : kChanges) {
        SCOPED_TRACE(c.what);
        CustomerTree tree = sampleTree();
        const std::string before = writeDataFile(tree);
        std::unique_ptr<TreeChange> change = c.make(tree);
        change->apply(tree);
        const std::string after = writeDataFile(tree);
        EXPECT_NE(after, before);
        EXPECT_TRUE(c.done(tree));
        for (int round = 0; round < 2; ++round) {
            change->revert(tree);
            EXPECT_EQ(writeDataFile(tree), before);
            change->apply(tree);
            EXPECT_EQ(writeDataFile(tree), after);
        }
    }
}

// A later change stacked on an earlier one of the same name is taken back first.
TEST(TreeChange, ChangesTakenBackNewestFirstRestoreEachStage) {
    CustomerTree tree = sampleTree();
    std::vector<std::unique_ptr<TreeChange>> done;
    done.push_back(std::make_unique<MoveRecordsChange>(kA1, std::vector{0}, kB1));
    done.push_back(std::make_unique<RemoveRecordsChange>(kB1, std::vector{1, 2}));
    done.push_back(std::make_unique<RemoveNameChange>(TreeLevel::Circuit, TreeParents{1, -1}, 0));
    done.push_back(std::make_unique<AddNameChange>(TreeLevel::Customer, TreeParents{}, "AA"));
    std::vector<std::string> stages = {writeDataFile(tree)};
    for (auto& change : done) {
        change->apply(tree);
        stages.push_back(writeDataFile(tree));
    }
    for (size_t i = done.size(); i-- > 0;) {
        done[i]->revert(tree);
        EXPECT_EQ(writeDataFile(tree), stages[i]) << i;
    }
}

TEST(TreeChange, RefusedChangesLeaveTheTreeAsItWas) {
    CustomerTree tree = sampleTree();
    const std::string before = writeDataFile(tree);
    RenameNameChange clash(TreeLevel::Name, TreeParents{0, 0}, 0, "n2", "L");
    EXPECT_THROW(clash.apply(tree), CxException);
    RegisterRecordsChange nothing(tree, kA1, {}, RegisterMode::Replace, settings::AppSettings{});
    EXPECT_THROW(nothing.apply(tree), CxException);
    EXPECT_EQ(writeDataFile(tree), before);

    AddNameChange existing(TreeLevel::Customer, TreeParents{}, "b");
    existing.apply(tree);
    EXPECT_EQ(existing.position(), 1);
    existing.revert(tree);
    EXPECT_EQ(writeDataFile(tree), before) << "a name found, not added, stays on revert";
}

TEST(TreeChange, EditsThatChangeNothingSayLikewise) {
    const CustomerTree tree = sampleTree();
    const RecordList& records = nameAtPath(tree, kA1).records;
    EXPECT_FALSE(
        SetConditionsChange(kA1, {0, 1}, {records.at(0).cond, records.at(1).cond}).changes(tree));
    EXPECT_TRUE(
        SetConditionsChange(kA1, {0, 1}, {records.at(0).cond, records.at(0).cond}).changes(tree));
    EXPECT_FALSE(SetStartChange(kA1, 3, records.at(3).testDateTime).changes(tree));
    EXPECT_TRUE(SetStartChange(kA1, 3, records.at(2).testDateTime).changes(tree));
}

}  // namespace
}  // namespace plm::model
