#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/due.h"
#include "analysis/limits_file.h"
#include "record_fixture.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

namespace plm::analysis {
namespace {

using support::sj;

struct DueCase {
    const char* name;
    std::optional<CalendarDay> lastTest;
    int interval;
    CalendarDay today;
    int within;
    DueState state;
    std::optional<CalendarDay> due;
    long daysOverdue;
};

class DueRule : public ::testing::TestWithParam<DueCase> {};

TEST_P(DueRule, GivesTheDueDayAndTheDaysPast) {
    const DueCase& c = GetParam();
    const DueCheck check = checkDue(c.lastTest, c.interval, c.today, c.within);
    EXPECT_EQ(check.state, c.state);
    EXPECT_EQ(check.due, c.due);
    if (c.due) {
        EXPECT_EQ(check.daysOverdue, c.daysOverdue);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DueRule,
    ::testing::Values(
        DueCase{"MonthEndIntoFebruary",
                CalendarDay{2025, 1, 31},
                1,
                {2025, 3, 1},
                30,
                DueState::Overdue,
                CalendarDay{2025, 2, 28},
                1},
        DueCase{"MonthEndIntoALeapFebruary",
                CalendarDay{2024, 1, 31},
                1,
                {2024, 2, 29},
                30,
                DueState::DueSoon,
                CalendarDay{2024, 2, 29},
                0},
        DueCase{"LeapDayAYearOn",
                CalendarDay{2024, 2, 29},
                12,
                {2025, 3, 1},
                30,
                DueState::Overdue,
                CalendarDay{2025, 2, 28},
                1},
        DueCase{"LeapDayFourYearsOn",
                CalendarDay{2024, 2, 29},
                48,
                {2028, 2, 1},
                30,
                DueState::DueSoon,
                CalendarDay{2028, 2, 29},
                -28},
        DueCase{"CenturyIsNoLeapYear",
                CalendarDay{1900, 1, 31},
                1,
                {1900, 3, 1},
                0,
                DueState::Overdue,
                CalendarDay{1900, 2, 28},
                1},
        DueCase{"FourHundredYearsIsOne",
                CalendarDay{2000, 1, 30},
                1,
                {2000, 3, 1},
                0,
                DueState::Overdue,
                CalendarDay{2000, 2, 29},
                1},
        DueCase{"ThirtyFirstIntoAThirtyDayMonth",
                CalendarDay{2025, 8, 31},
                1,
                {2025, 9, 1},
                30,
                DueState::DueSoon,
                CalendarDay{2025, 9, 30},
                -29},
        DueCase{"AcrossTheYearEnd",
                CalendarDay{2025, 11, 30},
                3,
                {2026, 1, 1},
                30,
                DueState::NotDue,
                CalendarDay{2026, 2, 28},
                -58},
        DueCase{"LastDayLookedAhead",
                CalendarDay{2025, 6, 1},
                12,
                {2026, 5, 2},
                30,
                DueState::DueSoon,
                CalendarDay{2026, 6, 1},
                -30},
        DueCase{"OneDayBeyond",
                CalendarDay{2025, 6, 1},
                12,
                {2026, 5, 1},
                30,
                DueState::NotDue,
                CalendarDay{2026, 6, 1},
                -31},
        DueCase{"YearsOverdue",
                CalendarDay{2020, 6, 1},
                12,
                {2026, 6, 1},
                30,
                DueState::Overdue,
                CalendarDay{2021, 6, 1},
                1826},
        DueCase{
            "NoValidDate", std::nullopt, 12, {2026, 6, 1}, 30, DueState::NoDate, std::nullopt, 0},
        DueCase{"NoIntervalNeverDue",
                std::nullopt,
                0,
                {2026, 6, 1},
                30,
                DueState::NotDue,
                std::nullopt,
                0}),
    [](const auto& info) { return std::string(info.param.name); });

model::MeasurementRecord recordOn(const support::DateTimeValue& date) {
    model::MeasurementRecord r = test::buildRecord({});
    r.testDateTime = date;
    return r;
}

TEST(DueTally, NewestMeasurementOfEachNameAndItsIntervalDecideTheList) {
    const std::string a = sj("東京"), circuit = sj("回路A"), other = sj("回路B");
    DueTally tally;
    // Filed out of date order, with an undated capture after the newest.
    tally.add(a, circuit, "P1", 0, recordOn(test::dateOf(2025, 3, 1)));
    tally.add(a, circuit, "P1", 1, recordOn(test::dateOf(2024, 1, 31)));
    tally.add(a, circuit, "P1", 2, recordOn({}));
    // "p2" and "P2" are one name: its newest is the 2024 one.
    tally.add(a, circuit, "p2", 0, recordOn(test::dateOf(2023, 5, 10)));
    tally.add(a, circuit, "P2", 1, recordOn(test::dateOf(2024, 5, 10)));
    tally.add(a, circuit, "P3", 0, recordOn({}));  // never a valid date
    tally.add(a, other, "P4", 0, recordOn(test::dateOf(2020, 1, 1)));
    tally.add(a, other, "P5", 0, recordOn(test::dateOf(2025, 12, 20)));

    const std::string file = "[Limits]\nCustomer=" + a + "\nCircuit=" + circuit +
                             "\ninterval_months=12\n[Limits]\nCustomer=" + a +
                             "\nCircuit=" + circuit +
                             "\nName=P1\ninterval_months=6\n"
                             "[Limits]\nCustomer=" +
                             a + "\nCircuit=" + other + "\nName=P4\ninterval_months=0\n";
    const LimitsBook book = LimitsBook::parse(file, "LIMITS.INI");
    EXPECT_EQ(intervalMonthsOf(book, a, circuit, "p1", 24), 6);   // the name's own
    EXPECT_EQ(intervalMonthsOf(book, a, circuit, "P2", 24), 12);  // its circuit's
    EXPECT_EQ(intervalMonthsOf(book, a, other, "P5", 24), 24);    // the default
    EXPECT_EQ(intervalMonthsOf(book, a, other, "P4", 24), 0);     // 0 stops the default

    const std::vector<DueName> due = tally.dueNames(book, 1, {2025, 12, 31}, 30);
    std::vector<std::string> listed;
    for (const DueName& n : due)
        listed.push_back(n.name + " " + (n.check.due ? dayText(*n.check.due) : "-") + " " +
                         std::to_string(n.check.daysOverdue) + " " +
                         support::toUtf8(dueStateText(n.check.state)));
    // P1: 2025/03/01 + 6 months; p2: 2024/05/10 + 12; P5: 2025/12/20 + 1 (the default).
    EXPECT_EQ(listed, (std::vector<std::string>{"P3 - 0 試験日時なし", "p2 2025/05/10 235 期限超過",
                                                "P1 2025/09/01 121 期限超過",
                                                "P5 2026/01/20 -20 期限間近"}));
    EXPECT_EQ(due[2].newestIndex, 0);
    EXPECT_EQ(due[1].newestIndex, 1);

    // Written out as CSV with the undated name's empty fields.
    EXPECT_EQ(dueCsv({due[0], due[3]}),
              "customer,circuit,name,last_test,due,days_overdue,interval_months,state\r\n"
              "東京,回路A,P3,,,,12,試験日時なし\r\n"
              "東京,回路B,P5,2025/12/20,2026/01/20,-20,1,期限間近\r\n");
}

TEST(DueTally, TheIntervalKeyReadsBackAndRefusesWhatIsNoNumberOfMonths) {
    LimitsBook book;
    LimitsEntry& entry = book.entry(LimitsTarget::ofCircuit("A", "B"));
    setIntervalMonths(entry, " 18 ");
    const LimitsBook again = LimitsBook::parse(book.bytes(), "LIMITS.INI");
    EXPECT_EQ(again.entries().front().intervalMonths, 18);
    for (const char* bad : {"-1", "1.5", "1201", "twelve"})
        EXPECT_THROW(setIntervalMonths(entry, bad), CxException) << bad;
    setIntervalMonths(entry, "");
    EXPECT_FALSE(entry.intervalMonths);
}

}  // namespace
}  // namespace plm::analysis
