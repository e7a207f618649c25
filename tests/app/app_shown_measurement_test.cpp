// Finding the shown measurement again in a changed list, without widgets.
#include <gtest/gtest.h>

#include "app/main_window/shown_measurement.h"
#include "common/fixtures.h"

namespace plm::test::app {
namespace {

using plm::app::identityAt;
using plm::app::locate;
using plm::app::nearest;

model::RecordList listOf(const std::vector<model::MeasurementRecord>& records) {
    return model::RecordList(records);
}

// The same capture filed twice is told apart by its order; conditions and
// data numbers do not count.
TEST(ShownMeasurement, FollowsCopiesOfOneCaptureByTheirOrder) {
    const model::MeasurementRecord a = datedRecord(2, 10, 1);
    model::MeasurementRecord copy = a;
    copy.dataNo = 2;
    copy.cond.comment = "edited";
    const model::MeasurementRecord b = datedRecord(3, 10, 3);
    const model::RecordList before = listOf({a, copy, b});
    const plm::app::MeasurementIdentity second = identityAt(before, 1);
    EXPECT_EQ(second.repeat, 1);

    struct Case {
        std::vector<model::MeasurementRecord> now;
        int found;
    };
    const std::vector<Case> cases = {
        {{datedRecord(1, 8), a, copy, b}, 2},  // an older one filed in front
        {{a, b}, 0},                           // one copy left: that one
        {{b}, -1},
        {{datedRecord(1, 8), b}, -1},
    };
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(locate(listOf(cases[i].now), second), cases[i].found) << i;
    EXPECT_EQ(locate(listOf({b, a}), identityAt(before, 2)), 0);
}

TEST(ShownMeasurement, NearestByStartTheEarlierOfTwoAsClose) {
    const model::RecordList records = listOf({datedRecord(1, 10), datedRecord(3, 10)});
    struct Case {
        support::DateTimeValue start;
        int hint;
        int nearest;
    };
    const std::vector<Case> cases = {
        {dateAt(2024, 3, 2, 10), 5, 0},  // as close to both
        {dateAt(2024, 3, 2, 11), 0, 1},
        {dateAt(2024, 2, 1, 0), 1, 0},
        {support::DateTimeValue{}, 5, 1},  // no date: the old place within the list
    };
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(nearest(records, cases[i].start, cases[i].hint), cases[i].nearest) << i;
    EXPECT_EQ(nearest(model::RecordList{}, dateAt(2024, 3, 2, 10), 0), -1);
}

}  // namespace
}  // namespace plm::test::app
