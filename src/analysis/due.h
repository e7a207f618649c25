#pragma once

#include <compare>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "analysis/limits_file.h"
#include "model/measurement_record.h"
#include "support/ole_date.h"

// Which measurement names are due for their periodic test: a name is due at
// the date of its newest measurement plus the test interval of its test
// circuit (or of the name itself, or the default of the settings).
namespace plm::analysis {

struct CalendarDay {
    int year = 0;
    int month = 1;  // 1..12
    int day = 1;
    auto operator<=>(const CalendarDay&) const = default;
};

// The day of a valid test date, else nullopt.
std::optional<CalendarDay> calendarDayOf(const support::DateTimeValue& date);

// `months` later (earlier when negative) on the same day of the month, or
// on the last day of a shorter month: Jan 31 + 1 month is Feb 28, or Feb 29
// in a leap year; Feb 29 + 12 months is Feb 28.
CalendarDay addMonths(const CalendarDay& day, int months);

// Days from `from` to `to` (negative when `to` lies before).
long daysBetween(const CalendarDay& from, const CalendarDay& to);

// "YYYY/MM/DD".
std::string dayText(const CalendarDay& day);

enum class DueState {
    NotDue,   // no interval, or due later than the days looked ahead
    DueSoon,  // due today or within the days looked ahead
    Overdue,  // the due day has passed
    NoDate,   // an interval applies but no measurement has a valid test date
};

struct DueCheck {
    DueState state = DueState::NotDue;
    std::optional<CalendarDay> due;
    long daysOverdue = 0;  // today minus the due day: negative while days are left
};

// The rule itself. An interval of 0 or less means no periodic test.
DueCheck checkDue(const std::optional<CalendarDay>& lastTest, int intervalMonths,
                  const CalendarDay& today, int withinDays);

// The interval of a name: its own entry's, else its test circuit's, else
// `defaultMonths`.
int intervalMonthsOf(const LimitsBook& book, const std::string& customer,
                     const std::string& circuit, const std::string& name, int defaultMonths);

struct DueName {
    std::string customer;  // CP932, as first met
    std::string circuit;
    std::string name;
    int newestIndex = 0;              // position of the newest measurement under the name
    support::DateTimeValue lastTest;  // invalid when no measurement has a valid date
    int intervalMonths = 0;
    DueCheck check;
};

// Collects the newest measurement of every measurement name, one
// measurement at a time; names that fold together count as one.
class DueTally {
  public:
    // The measurement at `index` under the name.
    void add(const std::string& customer, const std::string& circuit, const std::string& name,
             int index, const model::MeasurementRecord& record);

    // The names overdue, due within `withinDays` and without a valid test
    // date (those first), then by due day, oldest first.
    std::vector<DueName> dueNames(const LimitsBook& book, int defaultMonths,
                                  const CalendarDay& today, int withinDays) const;

  private:
    std::vector<DueName> names_;
    std::unordered_map<std::string, size_t> index_;  // folded path -> names_
    size_t last_ = 0;                                // the name added to last
};

// "期限超過", "期限間近", "試験日時なし" (CP932); "" for NotDue.
std::string dueStateText(DueState state);

// The list as CSV (UTF-8, CR LF, a header row), as plmtool due --csv and
// PLMView write it.
std::string dueCsv(const std::vector<DueName>& names);

}  // namespace plm::analysis
