#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The date-time value of the system: an OLE Automation date (days since
// 1899-12-30 00:00, time of day as the fraction; local calendar fields, no
// time zone arithmetic) with a status.
namespace plm::support {

enum class DateStatus : int32_t { Valid = 0, Invalid = 1, Null = 2 };

struct DateTimeValue {
    double value = 0.0;
    DateStatus status = DateStatus::Invalid;

    bool valid() const { return status == DateStatus::Valid; }
    bool operator==(const DateTimeValue&) const = default;
};

struct CalendarFields {
    int year = 1899;
    int month = 12;  // 1..12
    int day = 30;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int dayOfWeek = 0;  // 0 = Sunday
    int dayOfYear = 1;  // 1..366
};

// Splits an OLE date into calendar fields, rounded to the nearest second.
// False when the value lies outside years 100..9999.
bool oleToFields(double value, CalendarFields& out);

// Builds an OLE date from calendar fields; false when a field is out of range
// (the year must be 100..9999, month 1..12, day within the month, hour 0..23,
// minute and second 0..59).
bool fieldsToOle(const CalendarFields& fields, double& out);

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
long daysFromCivil(long year, unsigned month, unsigned day);

// The local time now, valid.
DateTimeValue nowLocal();

// Formats with strftime conventions applied to the calendar fields: status null
// gives "", invalid status or a value without calendar fields gives
// "Invalid DateTime"; at most 256 characters.
std::string formatDateTime(const DateTimeValue& dt, const char* pattern);

// Parses a date, a time, or a date and a time joined by blanks: "YYYY/MM/DD",
// "YYYY-MM-DD", "YYYY/M/D", "HH:MM", "HH:MM:SS". A time alone is a time on
// 1899-12-30 (value below 1); a date alone is midnight. The result is valid on
// success and has status invalid otherwise.
DateTimeValue parseDateTime(std::string_view text);

}  // namespace plm::support
