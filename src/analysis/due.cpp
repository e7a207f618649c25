#include "analysis/due.h"

#include <algorithm>

#include "analysis/listing.h"
#include "model/name_compare.h"
#include "support/text_codec.h"

namespace plm::analysis {
namespace {

using support::sj;

bool leapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int lastDayOf(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leapYear(year) ? 29 : kDays[month - 1];
}

// The names of a path, each folded as names compare, in one key.
std::string foldedPath(const std::string& customer, const std::string& circuit,
                       const std::string& name) {
    std::string key;
    for (const std::string* part : {&customer, &circuit, &name})
        key += std::to_string(part->size()) + ':' + foldedName(*part);
    return key;
}

int namesOrder(const DueName& a, const DueName& b) {
    if (int c = model::compareNames(a.customer, b.customer))
        return c;
    if (int c = model::compareNames(a.circuit, b.circuit))
        return c;
    return model::compareNames(a.name, b.name);
}

bool listedBefore(const DueName& a, const DueName& b) {
    const bool aNoDate = a.check.state == DueState::NoDate;
    const bool bNoDate = b.check.state == DueState::NoDate;
    if (aNoDate != bNoDate)
        return aNoDate;
    if (a.check.due != b.check.due)
        return a.check.due < b.check.due;
    return namesOrder(a, b) < 0;
}

}  // namespace

std::optional<CalendarDay> calendarDayOf(const support::DateTimeValue& date) {
    support::CalendarFields fields;
    if (!date.valid() || !support::oleToFields(date.value, fields))
        return std::nullopt;
    return CalendarDay{fields.year, fields.month, fields.day};
}

CalendarDay addMonths(const CalendarDay& day, int months) {
    const long index = static_cast<long>(day.year) * 12 + (day.month - 1) + months;
    const int year = static_cast<int>(index >= 0 ? index / 12 : (index - 11) / 12);
    const int month = static_cast<int>(index - static_cast<long>(year) * 12) + 1;
    return {year, month, std::min(day.day, lastDayOf(year, month))};
}

long daysBetween(const CalendarDay& from, const CalendarDay& to) {
    return support::daysFromCivil(to.year, static_cast<unsigned>(to.month),
                                  static_cast<unsigned>(to.day)) -
           support::daysFromCivil(from.year, static_cast<unsigned>(from.month),
                                  static_cast<unsigned>(from.day));
}

std::string dayText(const CalendarDay& day) {
    return support::format("%04d/%02d/%02d", day.year, day.month, day.day);
}

DueCheck checkDue(const std::optional<CalendarDay>& lastTest, int intervalMonths,
                  const CalendarDay& today, int withinDays) {
    DueCheck check;
    if (intervalMonths <= 0)
        return check;
    if (!lastTest) {
        check.state = DueState::NoDate;
        return check;
    }
    check.due = addMonths(*lastTest, intervalMonths);
    check.daysOverdue = daysBetween(*check.due, today);
    if (check.daysOverdue > 0)
        check.state = DueState::Overdue;
    else if (-check.daysOverdue <= withinDays)
        check.state = DueState::DueSoon;
    return check;
}

int intervalMonthsOf(const LimitsBook& book, const std::string& customer,
                     const std::string& circuit, const std::string& name, int defaultMonths) {
    const LimitsEntry* own = book.find(LimitsTarget::ofName(customer, circuit, name));
    if (own && own->intervalMonths)
        return *own->intervalMonths;
    const LimitsEntry* circuitEntry = book.find(LimitsTarget::ofCircuit(customer, circuit));
    if (circuitEntry && circuitEntry->intervalMonths)
        return *circuitEntry->intervalMonths;
    return defaultMonths;
}

void DueTally::add(const std::string& customer, const std::string& circuit, const std::string& name,
                   int index, const model::MeasurementRecord& record) {
    // A name's measurements come one after another: the name met last is
    // found again without a key.
    const bool sameAsLast = last_ < names_.size() && names_[last_].name == name &&
                            names_[last_].circuit == circuit && names_[last_].customer == customer;
    if (!sameAsLast) {
        const auto [at, added] = index_.emplace(foldedPath(customer, circuit, name), names_.size());
        last_ = at->second;
        if (added) {
            names_.push_back(DueName{customer, circuit, name, index, record.testDateTime, 0, {}});
            return;
        }
    }
    DueName& known = names_[last_];
    if (replacesNewest(record.testDateTime, known.lastTest)) {
        known.lastTest = record.testDateTime;
        known.newestIndex = index;
    }
}

std::vector<DueName> DueTally::dueNames(const LimitsBook& book, int defaultMonths,
                                        const CalendarDay& today, int withinDays) const {
    std::vector<DueName> out;
    for (const DueName& known : names_) {
        DueName name = known;
        name.intervalMonths =
            intervalMonthsOf(book, name.customer, name.circuit, name.name, defaultMonths);
        name.check = checkDue(calendarDayOf(name.lastTest), name.intervalMonths, today, withinDays);
        if (name.check.state != DueState::NotDue)
            out.push_back(std::move(name));
    }
    std::stable_sort(out.begin(), out.end(), listedBefore);
    return out;
}

std::string dueStateText(DueState state) {
    switch (state) {
        case DueState::Overdue:
            return sj("期限超過");
        case DueState::DueSoon:
            return sj("期限間近");
        case DueState::NoDate:
            return sj("試験日時なし");
        case DueState::NotDue:
            break;
    }
    return {};
}

std::string dueCsv(const std::vector<DueName>& names) {
    std::string out = "customer,circuit,name,last_test,due,days_overdue,interval_months,state\r\n";
    for (const DueName& n : names) {
        const std::optional<CalendarDay> last = calendarDayOf(n.lastTest);
        out += csvField(support::toUtf8(n.customer)) + "," + csvField(support::toUtf8(n.circuit)) +
               "," + csvField(support::toUtf8(n.name)) + "," + (last ? dayText(*last) : "") + "," +
               (n.check.due ? dayText(*n.check.due) : "") + "," +
               (n.check.due ? std::to_string(n.check.daysOverdue) : "") + "," +
               std::to_string(n.intervalMonths) + "," +
               support::toUtf8(dueStateText(n.check.state)) + "\r\n";
    }
    return out;
}

}  // namespace plm::analysis
