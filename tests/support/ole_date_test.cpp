#include "support/ole_date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace plm::support {
namespace {

CalendarFields fields(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    CalendarFields f;
    f.year = y;
    f.month = mo;
    f.day = d;
    f.hour = h;
    f.minute = mi;
    f.second = s;
    return f;
}

std::string show(const CalendarFields& f) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour,
                  f.minute, f.second);
    return buf;
}

DateTimeValue valid(double v) {
    return {v, DateStatus::Valid};
}

TEST(OleDate, KnownValuesConvertBothWays) {
    struct Case {
        CalendarFields f;
        double value;
        int dayOfWeek;
        int dayOfYear;
    };
    const std::vector<Case> cases = {
        {fields(1899, 12, 30), 0.0, 6, 364},
        // Before day 0 the fraction still counts forward from midnight.
        {fields(1899, 12, 29, 6), -1.25, 5, 363},
        {fields(1899, 12, 30, 18), 0.75, 6, 364},
        {fields(1900, 1, 1, 12), 2.5, 1, 1},
        {fields(1900, 3, 1), 61.0, 4, 60},  // 1900 is no leap year
        {fields(1600, 2, 29), -109512.0, 2, 60},
        {fields(2008, 4, 1, 13, 5), 39539.0 + (13 * 60 + 5) / 1440.0, 2, 92},
        {fields(2000, 12, 31, 23, 59, 59), 36891.0 + 86399 / 86400.0, 0, 366},
        {fields(100, 1, 1), -657434.0, 5, 1},
        {fields(100, 1, 1, 12), -657434.5, 5, 1},
        {fields(9999, 12, 31, 23, 59, 59), 2958465.0 + 86399 / 86400.0, 5, 365},
    };
    for (const auto& c : cases) {
        double value = 0;
        ASSERT_TRUE(fieldsToOle(c.f, value)) << show(c.f);
        EXPECT_NEAR(value, c.value, 1e-9) << show(c.f);
        CalendarFields back;
        ASSERT_TRUE(oleToFields(c.value, back)) << c.value;
        EXPECT_EQ(show(back), show(c.f));
        EXPECT_EQ(back.dayOfWeek, c.dayOfWeek) << show(c.f);
        EXPECT_EQ(back.dayOfYear, c.dayOfYear) << show(c.f);
    }
}

TEST(OleDate, RoundsToTheNearestSecondAcrossMidnight) {
    const double halfSecond = 0.5 / 86400;
    struct Case {
        double value;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {1.0 - halfSecond / 4, "1899-12-31 00:00:00"},
        {1.0 - 3 * halfSecond, "1899-12-30 23:59:59"},
        {-1.0 - (1.0 - halfSecond / 4), "1899-12-30 00:00:00"},  // 1899-12-29 23:59:59.9
        {-(1.0 - halfSecond / 4), "1899-12-31 00:00:00"},        // day 0, 23:59:59.9
        {39539.5 + halfSecond * 1.2, "2008-04-01 12:00:01"},
    };
    for (const auto& c : cases) {
        CalendarFields f;
        ASSERT_TRUE(oleToFields(c.value, f)) << c.value;
        EXPECT_EQ(show(f), c.expected) << c.value;
    }
}

TEST(OleDate, RejectsValuesOutsideTheCalendar) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double v :
         {-657435.0, 2958466.0, 2958465.0 + (86399.9 / 86400), 1e300, -inf, inf, std::nan("")}) {
        CalendarFields f;
        EXPECT_FALSE(oleToFields(v, f)) << v;
    }
    for (const auto& f :
         {fields(99, 12, 31), fields(10000, 1, 1), fields(1900, 2, 29), fields(2001, 2, 29),
          fields(2008, 4, 31), fields(2008, 13, 1), fields(2008, 0, 1), fields(2008, 1, 0),
          fields(2008, 1, 1, 24), fields(2008, 1, 1, 0, 60), fields(2008, 1, 1, 0, 0, 60),
          fields(2008, 1, 1, -1)}) {
        double v = 0;
        EXPECT_FALSE(fieldsToOle(f, v)) << show(f);
    }
}

TEST(OleDate, EveryDayOfTheRangeRoundTrips) {
    for (long day = -657434; day <= 2958465; day += 37) {
        for (double time : {0.0, 0.5, 86399.0 / 86400}) {
            const double value = day >= 0 ? day + time : day - time;
            CalendarFields f;
            ASSERT_TRUE(oleToFields(value, f)) << value;
            double back = 0;
            ASSERT_TRUE(fieldsToOle(f, back)) << show(f);
            ASSERT_NEAR(back, value, 1e-6) << show(f);
        }
    }
}

TEST(OleDate, FormatsByStatusAndPattern) {
    EXPECT_EQ(formatDateTime({39539.5, DateStatus::Null}, "%Y"), "");
    EXPECT_EQ(formatDateTime({39539.5, DateStatus::Invalid}, "%Y"), "Invalid DateTime");
    EXPECT_EQ(formatDateTime(valid(9e6), "%Y"), "Invalid DateTime");
    EXPECT_EQ(formatDateTime(valid(39539.0 + (13 * 60 + 5) / 1440.0), "%Y/%m/%d %H:%M:%S"),
              "2008/04/01 13:05:00");
    EXPECT_EQ(formatDateTime(valid(-657434.0), "%Y/%m/%d %a"), "100/01/01 Fri");
    const std::string longPattern(300, 'x');
    EXPECT_EQ(formatDateTime(valid(0), longPattern.c_str()), std::string(256, 'x'));
}

TEST(OleDate, ParsesDatesTimesAndBoth) {
    struct Case {
        const char* text;
        const char* expected;  // nullptr: does not parse
    };
    const std::vector<Case> cases = {
        {"2008/04/01", "2008-04-01 00:00:00"},
        {"2008-04-01", "2008-04-01 00:00:00"},
        {"2008/4/1", "2008-04-01 00:00:00"},
        {"13:05", "1899-12-30 13:05:00"},
        {"7:5:9", "1899-12-30 07:05:09"},
        {"13:05:59", "1899-12-30 13:05:59"},
        {"2008/04/01 13:05", "2008-04-01 13:05:00"},
        {"  2008/4/1 \t 23:59:59  ", "2008-04-01 23:59:59"},
        {"08/04/01", "2008-04-01 00:00:00"},
        {"99/12/31", "1999-12-31 00:00:00"},
        {"2008/02/29", "2008-02-29 00:00:00"},
        {"", nullptr},
        {"   ", nullptr},
        {"Invalid DateTime 13:05", nullptr},
        {"2008/02/30", nullptr},
        {"2007/02/29", nullptr},
        {"2008/13/01", nullptr},
        {"2008/04", nullptr},
        {"2008-04/01", nullptr},
        {"2008/04/01x", nullptr},
        {"2008/04/0113:05", nullptr},
        {"24:00", nullptr},
        {"12:60", nullptr},
        {"12:30:", nullptr},
        {"12:30 2008/04/01", nullptr},
        {"20080/4/1", nullptr},
        {"2008/004/1", nullptr},
    };
    for (const auto& c : cases) {
        const DateTimeValue dt = parseDateTime(c.text);
        if (!c.expected) {
            EXPECT_EQ(dt.status, DateStatus::Invalid) << c.text;
            continue;
        }
        ASSERT_TRUE(dt.valid()) << c.text;
        CalendarFields f;
        ASSERT_TRUE(oleToFields(dt.value, f));
        EXPECT_EQ(show(f), c.expected) << c.text;
    }
}

TEST(OleDate, NowIsValidAndAgreesWithTheLocalClock) {
    const DateTimeValue now = nowLocal();
    ASSERT_TRUE(now.valid());
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    CalendarFields f;
    ASSERT_TRUE(oleToFields(now.value, f));
    EXPECT_EQ(f.year, tm.tm_year + 1900);
    EXPECT_EQ(f.dayOfYear, tm.tm_yday + 1);
}

}  // namespace
}  // namespace plm::support
