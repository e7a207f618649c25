#include <optional>
#include <string>
#include <vector>

#include "analysis/due.h"
#include "analysis/figures.h"
#include "analysis/fleet.h"
#include "analysis/limits_file.h"
#include "cli/command.h"
#include "cli/command_support.h"
#include "cli/session.h"
#include "model/data_file_scan.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

// plmtool fleet / due: the breakers of every customer by model, and the
// measurement names due for their periodic test. Both scan the data file
// once, keeping only the newest measurements they need.
namespace plm::cli {
namespace {

using analysis::msFromMicros;
using support::format;
using support::sj;
using support::toUtf8;

std::string jsonText(const std::string& cp932) {
    return jsonString(toUtf8(cp932));
}

// Hands every measurement of the data file to `visit` as it is read, with
// the parts of it named.
void scanEveryRecord(const Session& session, model::RecordParts parts, model::RecordVisitor visit) {
    model::ScanSelection selection;
    selection.keepRecords = true;
    selection.visit = std::move(visit);
    selection.visitParts = parts;
    StderrReporter reporter;
    model::DataFileOutline outline;
    if (!model::scanDataFile(session.dataFile, selection, outline, reporter))
        throw CxException();
}

// A list over many targets at once: a damaged section stops it.
analysis::LimitsBook loadWholeLimitsBook() {
    return analysis::loadLimits(analysis::limitsFilePath(), analysis::DamagedSections::StopAll);
}

std::string requireCsvPath(const Invocation& inv) {
    const std::string csv = inv.flagValue("csv");
    if (inv.hasFlag("csv") && csv.empty())
        throw UsageError{"--csv needs an output file"};
    if (!csv.empty() && inv.json)
        throw UsageError{"--json and --csv exclude each other"};
    return csv;
}

std::string spreadJson(const std::optional<analysis::Spread>& s) {
    if (!s)
        return "null";
    return format("{\"min_ms\":%s,\"median_ms\":%s,\"max_ms\":%s}", msFromMicros(s->min).c_str(),
                  msFromMicros(s->median).c_str(), msFromMicros(s->max).c_str());
}

std::string kindJson(const std::vector<std::optional<analysis::Spread>>& poles,
                     const std::optional<analysis::Spread>& spread) {
    std::string out = "{\"poles\":[";
    for (size_t p = 0; p < poles.size(); ++p)
        out += (p ? "," : "") + spreadJson(poles[p]);
    return out + "],\"pole_spread\":" + spreadJson(spread) + "}";
}

std::string fleetJson(const std::vector<analysis::FleetModel>& models) {
    std::string out = "{\"models\":[";
    for (size_t i = 0; i < models.size(); ++i) {
        const analysis::FleetModel& m = models[i];
        out += format(
            "%s{\"maker\":%s,\"model\":%s,\"breakers\":%d,\"measurements\":%d,"
            "\"failing\":%d,\"close\":%s,\"open\":%s}",
            i ? "," : "", jsonText(m.maker).c_str(), jsonText(m.model).c_str(), m.breakers,
            m.measurements, m.failing, kindJson(m.closeUs, m.closeSpreadUs).c_str(),
            kindJson(m.openUs, m.openSpreadUs).c_str());
    }
    return out + "]}";
}

std::string spreadText(const analysis::Spread& s) {
    return format(sj("最小 %s / 中央値 %s / 最大 %s ms").c_str(), msFromMicros(s.min).c_str(),
                  msFromMicros(s.median).c_str(), msFromMicros(s.max).c_str());
}

void printKind(const std::string& kind, const std::vector<std::optional<analysis::Spread>>& poles,
               const std::optional<analysis::Spread>& spread) {
    for (size_t p = 0; p < poles.size(); ++p) {
        if (poles[p])
            printLine(format(sj("  %s 極%zu: %s").c_str(), kind.c_str(), p + 1,
                             spreadText(*poles[p]).c_str()));
    }
    if (spread)
        printLine(format(sj("  %s 極間差: %s").c_str(), kind.c_str(), spreadText(*spread).c_str()));
}

void printFleet(const std::vector<analysis::FleetModel>& models) {
    for (const analysis::FleetModel& m : models) {
        printLine(format(sj("%s / %s: 遮断器 %d 台、測定データ %d 件、不合格 %d 台").c_str(),
                         m.maker.c_str(), m.model.c_str(), m.breakers, m.measurements, m.failing));
        printKind(sj("投入"), m.closeUs, m.closeSpreadUs);
        printKind(sj("遮断"), m.openUs, m.openSpreadUs);
    }
}

int runFleet(const Invocation& inv) {
    if (!inv.args.empty())
        throw UsageError{"fleet takes no arguments"};
    const std::string csv = requireCsvPath(inv);
    Session& session = openSession();
    if (!csv.empty())
        refuseTakenOutput(inv, absoluteFsPath(csv));
    const analysis::LimitsBook book = loadWholeLimitsBook();
    analysis::FleetTally tally(book);
    scanEveryRecord(session, model::RecordParts::Whole,
                    [&](const model::ScannedPlace& place, model::MeasurementRecord&& record) {
                        tally.add(place.customer, place.circuit, place.name, std::move(record));
                    });
    const std::vector<analysis::FleetModel> models = tally.models();
    if (!csv.empty())
        writeOutputFile(inv, absoluteFsPath(csv), analysis::fleetCsv(models), csv);
    else if (inv.json)
        printUtf8(fleetJson(models));
    else
        printFleet(models);
    return 0;
}

int parseWithin(const Invocation& inv) {
    if (!inv.hasFlag("within"))
        return 30;
    const std::string text = inv.flagValue("within");
    constexpr int kMaxDays = 36500;
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos || std::stoi(text) > kMaxDays)
        throw UsageError{"--within takes a number of days 0.." + std::to_string(kMaxDays)};
    return std::stoi(text);
}

analysis::CalendarDay todayOf(const Invocation& inv) {
    if (!inv.hasFlag("date"))
        return *analysis::calendarDayOf(support::nowLocal());
    const std::optional<analysis::CalendarDay> day =
        analysis::calendarDayOf(support::parseDateTime(inv.flagValue("date")));
    if (!day)
        throw UsageError{"--date takes a date YYYY/MM/DD"};
    return *day;
}

std::string optionalDayJson(const std::optional<analysis::CalendarDay>& day) {
    return day ? jsonString(analysis::dayText(*day)) : "null";
}

const char* stateKey(analysis::DueState state) {
    switch (state) {
        case analysis::DueState::Overdue:
            return "overdue";
        case analysis::DueState::DueSoon:
            return "due_soon";
        case analysis::DueState::NoDate:
            return "no_date";
        case analysis::DueState::NotDue:
            break;
    }
    return "not_due";
}

std::string dueJson(const std::vector<analysis::DueName>& names, const analysis::CalendarDay& today,
                    int within) {
    std::string out = format("{\"today\":%s,\"within_days\":%d,\"names\":[",
                             jsonString(analysis::dayText(today)).c_str(), within);
    for (size_t i = 0; i < names.size(); ++i) {
        const analysis::DueName& n = names[i];
        out += format(
            "%s{\"customer\":%s,\"circuit\":%s,\"name\":%s,\"last_test\":%s,\"due\":%s,"
            "\"days_overdue\":%s,\"interval_months\":%d,\"state\":\"%s\"}",
            i ? "," : "", jsonText(n.customer).c_str(), jsonText(n.circuit).c_str(),
            jsonText(n.name).c_str(), optionalDayJson(analysis::calendarDayOf(n.lastTest)).c_str(),
            optionalDayJson(n.check.due).c_str(),
            n.check.due ? std::to_string(n.check.daysOverdue).c_str() : "null", n.intervalMonths,
            stateKey(n.check.state));
    }
    return out + "]}";
}

void printDue(const std::vector<analysis::DueName>& names) {
    for (const analysis::DueName& n : names) {
        const std::string place = n.customer + " / " + n.circuit + " / " + n.name;
        const std::string state = analysis::dueStateText(n.check.state);
        if (!n.check.due) {
            printLine(format(sj("%s %s: 試験日時の正しい測定データがありません").c_str(),
                             state.c_str(), place.c_str()));
            continue;
        }
        const long days = n.check.daysOverdue;
        printLine(format((days > 0 ? sj("%s %s: 前回 %s、期限 %s、超過 %ld 日")
                                   : sj("%s %s: 前回 %s、期限 %s、あと %ld 日"))
                             .c_str(),
                         state.c_str(), place.c_str(),
                         analysis::dayText(*analysis::calendarDayOf(n.lastTest)).c_str(),
                         analysis::dayText(*n.check.due).c_str(), days > 0 ? days : -days));
    }
}

int runDue(const Invocation& inv) {
    if (!inv.args.empty())
        throw UsageError{"due takes no arguments"};
    const std::string csv = requireCsvPath(inv);
    const int within = parseWithin(inv);
    const analysis::CalendarDay today = todayOf(inv);
    Session& session = openSession();
    if (!csv.empty())
        refuseTakenOutput(inv, absoluteFsPath(csv));
    const analysis::LimitsBook book = loadWholeLimitsBook();
    analysis::DueTally tally;
    // Only the test dates count.
    scanEveryRecord(session, model::RecordParts::HeaderOnly,
                    [&](const model::ScannedPlace& place, model::MeasurementRecord&& record) {
                        tally.add(place.customer, place.circuit, place.name,
                                  static_cast<int>(place.index), record);
                    });
    const std::vector<analysis::DueName> names =
        tally.dueNames(book, session.settings.defIntervalMonths, today, within);
    if (!csv.empty())
        writeOutputFile(inv, absoluteFsPath(csv), analysis::dueCsv(names), csv);
    else if (inv.json)
        printUtf8(dueJson(names, today, within));
    else
        printDue(names);
    return 0;
}

const CommandRegistration fleetCommand{{
    "fleet",
    "fleet [--json | --csv OUT [--force]]",
    "per breaker maker and model: breakers, measurements, newest times and how many fail",
    runFleet,
    {{"json"}, {"csv", true}, {"force"}},
}};

const CommandRegistration dueCommand{{
    "due",
    "due [--within DAYS] [--date YYYY/MM/DD] [--json | --csv OUT [--force]]",
    "measurement names overdue for their periodic test or due within DAYS (default 30)",
    runDue,
    {{"within", true}, {"date", true}, {"json"}, {"csv", true}, {"force"}},
}};

}  // namespace
}  // namespace plm::cli
