#include "model/record_list.h"

#include <gtest/gtest.h>

#include "tree_test_util.h"

namespace plm::model {
namespace {

using support::DateStatus;
using test::dateAt;

MeasurementRecord at(const support::DateTimeValue& dt, int tag) {
    MeasurementRecord r;
    r.testDateTime = dt;
    r.vcValue = tag;
    return r;
}

std::vector<int> tags(const RecordList& list) {
    std::vector<int> out;
    for (const auto& r : list)
        out.push_back(r.vcValue);
    return out;
}

TEST(RecordList, AddKeepsDateTimeOrder) {
    RecordList list;
    list.add(at(dateAt(2008, 4, 2), 2));
    list.add(at(dateAt(2008, 4, 1), 1));
    list.add(at(dateAt(2009, 1, 1), 4));
    list.add(at(dateAt(2008, 12, 31, 23, 59, 59), 3));
    EXPECT_EQ(tags(list), (std::vector<int>{1, 2, 3, 4}));
    // Equal to the second goes in front of the equal record.
    EXPECT_EQ(list.add(at(dateAt(2008, 4, 2), 5)), 1);
    EXPECT_EQ(tags(list), (std::vector<int>{1, 5, 2, 3, 4}));
}

TEST(RecordList, DateThatIsNotValidGoesInFront) {
    RecordList list;
    list.add(at(dateAt(2008, 4, 1), 1));
    list.add(at(dateAt(2008, 4, 2), 2));
    support::DateTimeValue invalid{40000.0, DateStatus::Invalid};
    EXPECT_EQ(list.add(at(invalid, 0)), 0);
    EXPECT_EQ(tags(list), (std::vector<int>{0, 1, 2}));
}

TEST(RecordList, OrderOfTwoDates) {
    using support::DateTimeValue;
    const DateTimeValue a = dateAt(2008, 4, 1, 13, 5, 0);
    const DateTimeValue nullDate{0.0, DateStatus::Null};
    const DateTimeValue invalid{0.0, DateStatus::Invalid};
    struct Case {
        DateTimeValue existing, added;
        DateOrder order;
    };
    const Case cases[] = {
        {a, dateAt(2008, 4, 1, 13, 5, 0), DateOrder::Equal},
        {a, dateAt(2008, 4, 1, 13, 5, 1), DateOrder::Earlier},
        {a, dateAt(2007, 12, 31), DateOrder::Later},
        {nullDate, nullDate, DateOrder::Equal},
        {invalid, invalid, DateOrder::Later},
        {a, nullDate, DateOrder::Later},
        {nullDate, a, DateOrder::Later},
        {invalid, a, DateOrder::Later},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(compareForAdd(c.existing, c.added), c.order)
            << static_cast<int>(c.existing.status) << "/" << static_cast<int>(c.added.status);
    }
}

TEST(RecordList, RenumberAfterRemovingTheSecondOfThree) {
    RecordList list;
    for (int day = 1; day <= 3; ++day)
        list.add(at(dateAt(2008, 4, day), day));
    list.removeAt(1);
    list.renumber();
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.at(0).dataNo, 1);
    EXPECT_EQ(list.at(1).dataNo, 2);
    EXPECT_EQ(tags(list), (std::vector<int>{1, 3}));
    EXPECT_THROW(list.at(2), std::out_of_range);
    EXPECT_THROW(list.removeAt(-1), std::out_of_range);
}

const MeasurementRecord* address(const RecordList& list, int i) {
    return &list.at(i);
}

TEST(RecordList, CopiesShareRecordsUntilOneChanges) {
    RecordList original;
    original.append(at(dateAt(2024, 1, 1), 1));
    original.append(at(dateAt(2024, 1, 2), 2));

    RecordList copy = original;
    EXPECT_EQ(address(copy, 0), address(original, 0));
    copy.at(0).vcValue = 10;
    copy.removeAt(1);
    RecordList added = original;
    added.add(at(dateAt(2024, 1, 3), 3));
    EXPECT_EQ(tags(original), (std::vector<int>{1, 2}));
    EXPECT_EQ(tags(copy), (std::vector<int>{10}));
    EXPECT_EQ(tags(added), (std::vector<int>{1, 2, 3}));

    // A reference handed out before a copy is made still changes its own
    // list only: that list is copied whole until sharing is allowed again.
    MeasurementRecord& held = original.at(1);
    RecordList later = original;
    held.vcValue = 20;
    EXPECT_EQ(tags(original), (std::vector<int>{1, 20}));
    EXPECT_EQ(tags(later), (std::vector<int>{1, 2}));
    original.allowSharing();
    RecordList shared = original;
    EXPECT_EQ(address(shared, 0), address(original, 0));
    EXPECT_EQ(shared, original);
}

}  // namespace
}  // namespace plm::model
