#include "support/ole_date.h"

#include <locale.h>

#include <cmath>
#include <ctime>
#include <optional>

#include "support/text_codec.h"

namespace plm::support {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long daysFromCivil(long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

namespace {

// Day 0 of the OLE calendar (1899-12-30) counted from 1970-01-01.
constexpr long kOleEpochFromUnix = -25569;
constexpr long kMinOleDay = -657434;  // 0100-01-01
constexpr long kMaxOleDay = 2958465;  // 9999-12-31
constexpr long kSecondsPerDay = 86400;

void civilFromDays(long z, int& year, int& month, int& day) {
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<long>(yoe) + era * 400 + (month <= 2));
}

bool isLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

locale_t cLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

}  // namespace

bool oleToFields(double value, CalendarFields& out) {
    if (!std::isfinite(value))
        return false;
    // The integer part is the day; the fraction is the time of day whatever
    // the sign (-1.25 is 1899-12-29 06:00).
    const double whole = std::trunc(value);
    if (whole < kMinOleDay || whole > kMaxOleDay)
        return false;
    long day = static_cast<long>(whole);
    long seconds = std::lround(std::fabs(value - whole) * kSecondsPerDay);
    if (seconds >= kSecondsPerDay) {
        seconds -= kSecondsPerDay;
        ++day;
    }
    if (day > kMaxOleDay)
        return false;
    CalendarFields f;
    civilFromDays(day + kOleEpochFromUnix, f.year, f.month, f.day);
    f.hour = static_cast<int>(seconds / 3600);
    f.minute = static_cast<int>(seconds / 60 % 60);
    f.second = static_cast<int>(seconds % 60);
    // 1899-12-30 was a Saturday.
    f.dayOfWeek = static_cast<int>(((day + 6) % 7 + 7) % 7);
    f.dayOfYear = static_cast<int>(day + kOleEpochFromUnix - daysFromCivil(f.year, 1, 1) + 1);
    out = f;
    return true;
}

bool fieldsToOle(const CalendarFields& f, double& out) {
    if (f.year < 100 || f.year > 9999 || f.month < 1 || f.month > 12)
        return false;
    if (f.day < 1 || f.day > daysInMonth(f.year, f.month))
        return false;
    if (f.hour < 0 || f.hour > 23 || f.minute < 0 || f.minute > 59)
        return false;
    if (f.second < 0 || f.second > 59)
        return false;
    const long day =
        daysFromCivil(f.year, static_cast<unsigned>(f.month), static_cast<unsigned>(f.day)) -
        kOleEpochFromUnix;
    const double time = (f.hour * 3600 + f.minute * 60 + f.second) / double(kSecondsPerDay);
    out = day >= 0 ? day + time : day - time;
    return true;
}

DateTimeValue nowLocal() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    CalendarFields f;
    f.year = tm.tm_year + 1900;
    f.month = tm.tm_mon + 1;
    f.day = tm.tm_mday;
    f.hour = tm.tm_hour;
    f.minute = tm.tm_min;
    // A leap second reads as the last second of the minute.
    f.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
    DateTimeValue dt;
    if (fieldsToOle(f, dt.value))
        dt.status = DateStatus::Valid;
    return dt;
}

std::string formatDateTime(const DateTimeValue& dt, const char* pattern) {
    static const std::string kInvalid = "Invalid DateTime";
    if (dt.status == DateStatus::Null)
        return {};
    CalendarFields f;
    if (dt.status != DateStatus::Valid || !oleToFields(dt.value, f))
        return kInvalid;
    if (pattern == nullptr || *pattern == '\0')
        return {};
    std::tm tm{};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = f.second;
    tm.tm_wday = f.dayOfWeek;
    tm.tm_yday = f.dayOfYear - 1;
    tm.tm_isdst = -1;
    // The "C" locale keeps month and day names ASCII, whatever the GUI set.
    char buf[257];
    size_t n = strftime_l(buf, sizeof buf, pattern, &tm, cLocale());
    if (n == 0) {
        // Too long for 256 characters: format in full, then cut.
        std::string big(8192, '\0');
        n = strftime_l(big.data(), big.size(), pattern, &tm, cLocale());
        big.resize(n);
        return big.substr(0, mbSafeLength(big, 256));
    }
    return std::string(buf, n);
}

namespace {

// A small cursor over the text being parsed.
struct Scanner {
    std::string_view s;
    size_t pos = 0;

    bool atEnd() const { return pos >= s.size(); }
    void skipBlanks() {
        while (!atEnd() && (s[pos] == ' ' || s[pos] == '\t'))
            ++pos;
    }
    // 1..maxDigits decimal digits.
    std::optional<int> number(size_t maxDigits, size_t* digits = nullptr) {
        size_t start = pos;
        int value = 0;
        while (!atEnd() && pos - start < maxDigits && s[pos] >= '0' && s[pos] <= '9') {
            value = value * 10 + (s[pos] - '0');
            ++pos;
        }
        if (pos == start)
            return std::nullopt;
        if (!atEnd() && s[pos] >= '0' && s[pos] <= '9')
            return std::nullopt;
        if (digits)
            *digits = pos - start;
        return value;
    }
    bool accept(char c) {
        if (atEnd() || s[pos] != c)
            return false;
        ++pos;
        return true;
    }
};

bool parseDate(Scanner& sc, CalendarFields& f) {
    size_t yearDigits = 0;
    auto year = sc.number(4, &yearDigits);
    if (!year)
        return false;
    char sep = sc.atEnd() ? '\0' : sc.s[sc.pos];
    if (sep != '/' && sep != '-')
        return false;
    ++sc.pos;
    auto month = sc.number(2);
    if (!month || !sc.accept(sep))
        return false;
    auto day = sc.number(2);
    if (!day)
        return false;
    f.year = *year;
    // Two-digit years follow the usual OLE window: 00-29 -> 20xx, 30-99 -> 19xx.
    if (yearDigits <= 2)
        f.year += f.year < 30 ? 2000 : 1900;
    f.month = *month;
    f.day = *day;
    return true;
}

bool parseTime(Scanner& sc, CalendarFields& f) {
    auto hour = sc.number(2);
    if (!hour || !sc.accept(':'))
        return false;
    auto minute = sc.number(2);
    if (!minute)
        return false;
    f.hour = *hour;
    f.minute = *minute;
    f.second = 0;
    if (sc.accept(':')) {
        auto second = sc.number(2);
        if (!second)
            return false;
        f.second = *second;
    }
    return true;
}

// True when the text at the cursor looks like a time (digits then ':').
bool timeAhead(const Scanner& sc) {
    size_t p = sc.pos;
    while (p < sc.s.size() && sc.s[p] >= '0' && sc.s[p] <= '9')
        ++p;
    return p > sc.pos && p < sc.s.size() && sc.s[p] == ':';
}

}  // namespace

DateTimeValue parseDateTime(std::string_view text) {
    DateTimeValue result;
    Scanner sc{text};
    CalendarFields f;  // defaults to 1899-12-30 00:00:00
    sc.skipBlanks();
    if (sc.atEnd())
        return result;
    bool any = false;
    if (!timeAhead(sc)) {
        if (!parseDate(sc, f))
            return result;
        any = true;
        const size_t before = sc.pos;
        sc.skipBlanks();
        if (!sc.atEnd() && sc.pos == before)
            return result;
    }
    if (!sc.atEnd()) {
        if (!parseTime(sc, f))
            return result;
        any = true;
        sc.skipBlanks();
    }
    if (!any || !sc.atEnd())
        return result;
    if (fieldsToOle(f, result.value))
        result.status = DateStatus::Valid;
    return result;
}

}  // namespace plm::support
