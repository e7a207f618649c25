#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "analysis/breaker_history.h"
#include "analysis/figures.h"
#include "analysis/limits_file.h"
#include "cli/command.h"
#include "cli/command_support.h"
#include "cli/session.h"
#include "model/data_file_scan.h"
#include "model/name_compare.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

// plmtool breaker: every measurement of one breaker (maker, model and serial
// number), under whichever names it was filed, in date order.
namespace plm::cli {
namespace {

using analysis::BreakerPlace;
using analysis::msFromMicros;
using support::format;
using support::sj;
using support::toUtf8;

bool samePlace(const BreakerPlace& a, const BreakerPlace& b) {
    return model::sameName(a.customer, b.customer) && model::sameName(a.circuit, b.circuit) &&
           model::sameName(a.name, b.name);
}

// One pass over the file, one record held at a time. Positions are those of
// the file; `places` gets every place where the breaker was met.
std::optional<analysis::BreakerHistory> scanHistory(
    const std::string& dataPath, model::ScanSelection selection, const analysis::Breaker& breaker,
    const analysis::LimitsBook& book, std::vector<BreakerPlace>& places, bool& joined) {
    analysis::BreakerHistoryBuilder builder(breaker, book);
    selection.keepRecords = true;
    selection.visitIf = [&](const model::MeasurementRecord& record) {
        return analysis::isOf(record.cond, breaker);
    };
    selection.visit = [&](const model::ScannedPlace& at, const model::MeasurementRecord& record) {
        const BreakerPlace place{at.customer, at.circuit, at.name};
        builder.add(place, static_cast<int>(at.index), record);
        if (places.empty() || !samePlace(places.back(), place))
            places.push_back(place);
    };
    model::DataFileOutline outline;
    StderrReporter reporter;
    if (!model::scanDataFile(dataPath, selection, outline, reporter))
        return std::nullopt;
    joined = !outline.joins.empty();
    return std::move(builder).finish();
}

// A file that joins names places their records again (see the scan): the
// names where the breaker was met are read whole, as a load shows them.
std::optional<analysis::BreakerHistory> joinedHistory(const std::string& dataPath,
                                                      const analysis::Breaker& breaker,
                                                      const analysis::LimitsBook& book,
                                                      const std::vector<BreakerPlace>& places) {
    analysis::BreakerHistoryBuilder builder(breaker, book);
    std::vector<BreakerPlace> done;
    for (const BreakerPlace& place : places) {
        if (std::any_of(done.begin(), done.end(),
                        [&](const BreakerPlace& p) { return samePlace(p, place); }))
            continue;
        done.push_back(place);
        model::ScanSelection selection;
        selection.keepRecords = true;
        selection.customer = place.customer;
        selection.circuit = place.circuit;
        selection.name = place.name;
        model::DataFileOutline outline;
        StderrReporter reporter;
        if (!model::scanDataFile(dataPath, selection, outline, reporter))
            return std::nullopt;
        const model::ScannedName* name = outline.find(place.customer, place.circuit, place.name);
        if (!name)
            continue;
        // The place as the load names it.
        const model::ScannedCustomer* c = outline.customers.get(place.customer);
        const model::ScannedCircuit* t = c->circuits.get(place.circuit);
        const BreakerPlace kept{c->name, t->name, name->name};
        for (size_t i = 0; i < name->kept.size(); ++i)
            builder.add(kept, static_cast<int>(name->firstKept + i), name->kept[i]);
    }
    return std::move(builder).finish();
}

std::string jsonMs(const std::optional<int64_t>& us) {
    return us ? msFromMicros(*us) : "null";
}

std::string csvMs(const std::optional<int64_t>& us) {
    return us ? msFromMicros(*us) : "";
}

std::string jsonText(const std::string& cp932) {
    return jsonString(toUtf8(cp932));
}

std::string kindText(const analysis::TrendEntry& e) {
    return e.measureType == 0 ? sj("投入") : sj("遮断");
}

std::string historyJson(const analysis::Breaker& breaker, const analysis::BreakerHistory& h) {
    std::string out = format("{\"maker\":%s,\"model\":%s,\"serial\":%s,\"measurements\":[",
                             jsonText(breaker.maker).c_str(), jsonText(breaker.model).c_str(),
                             jsonText(breaker.serial).c_str());
    for (size_t i = 0; i < h.trend.entries.size(); ++i) {
        const analysis::TrendEntry& e = h.trend.entries[i];
        const BreakerPlace& p = h.places[i];
        std::string times = "[";
        for (size_t c = 0; c < e.operatingUs.size(); ++c)
            times += (c ? "," : "") + jsonMs(e.operatingUs[c]);
        out += format(
            "%s{\"customer\":%s,\"circuit\":%s,\"name\":%s,\"index\":%d,\"date\":%s,"
            "\"measure_type\":%s,\"operating_ms\":%s],\"pole_spread_ms\":%s,\"verdict\":%s}",
            i ? "," : "", jsonText(p.customer).c_str(), jsonText(p.circuit).c_str(),
            jsonText(p.name).c_str(), e.index, jsonText(analysis::trendDateText(e)).c_str(),
            jsonText(kindText(e)).c_str(), times.c_str(), jsonMs(e.poleSpreadUs).c_str(),
            jsonText(analysis::verdictText(e.verdict)).c_str());
    }
    return out + "]}";
}

// A text field of the CSV: always quoted, its quotes doubled.
std::string csvText(const std::string& cp932) {
    std::string out = "\"";
    for (const char c : toUtf8(cp932)) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

// UTF-8 with a header row; empty fields where a value does not exist.
std::string historyCsv(const analysis::BreakerHistory& h) {
    std::string out = "customer,circuit,name,index,date,measure_type";
    for (int c = 1; c <= h.trend.channels; ++c)
        out += format(",ch%d_ms", c);
    out += ",pole_spread_ms,verdict\r\n";
    for (size_t i = 0; i < h.trend.entries.size(); ++i) {
        const analysis::TrendEntry& e = h.trend.entries[i];
        const BreakerPlace& p = h.places[i];
        out += format("%s,%s,%s,%d,%s,%s", csvText(p.customer).c_str(), csvText(p.circuit).c_str(),
                      csvText(p.name).c_str(), e.index, toUtf8(analysis::trendDateText(e)).c_str(),
                      toUtf8(kindText(e)).c_str());
        for (size_t c = 0; c < static_cast<size_t>(h.trend.channels); ++c)
            out += "," + (c < e.operatingUs.size() ? csvMs(e.operatingUs[c]) : "");
        out += format(",%s,%s\r\n", csvMs(e.poleSpreadUs).c_str(),
                      toUtf8(analysis::verdictText(e.verdict)).c_str());
    }
    return out;
}

void printHistory(const analysis::BreakerHistory& h) {
    for (size_t i = 0; i < h.trend.entries.size(); ++i) {
        const analysis::TrendEntry& e = h.trend.entries[i];
        const BreakerPlace& p = h.places[i];
        std::string line =
            format("%s %s / %s / %s %d %s", analysis::trendDateText(e).c_str(), p.customer.c_str(),
                   p.circuit.c_str(), p.name.c_str(), e.index, kindText(e).c_str());
        for (size_t c = 0; c < e.operatingUs.size(); ++c)
            line += format(" CH%zu=%s", c + 1, csvMs(e.operatingUs[c]).c_str());
        line += format(sj(" 極間差=%s %s").c_str(), csvMs(e.poleSpreadUs).c_str(),
                       analysis::verdictText(e.verdict).c_str());
        printLine(line);
    }
}

int runBreaker(const Invocation& inv) {
    if (inv.args.size() != 3)
        throw UsageError{"expected MAKER MODEL SERIAL"};
    if (inv.args[2].empty())
        throw UsageError{
            "SERIAL must not be empty: measurements without a serial number are "
            "of no one breaker"};
    const std::string csv = inv.flagValue("csv");
    if (inv.hasFlag("csv") && csv.empty())
        throw UsageError{"--csv needs an output file"};
    if (inv.hasFlag("csv") && inv.json)
        throw UsageError{"--json and --csv exclude each other"};
    const analysis::Breaker breaker{storedText(inv.args[0]), storedText(inv.args[1]),
                                    storedText(inv.args[2])};
    Session& session = openSession();
    if (!csv.empty())
        refuseTakenOutput(inv, absoluteFsPath(csv));
    const analysis::LimitsBook book = analysis::loadLimits(
        analysis::limitsFilePath(), analysis::DamagedSections::StopTheirTarget);
    std::vector<BreakerPlace> places;
    bool joined = false;
    std::optional<analysis::BreakerHistory> history =
        scanHistory(session.dataFile, {}, breaker, book, places, joined);
    if (history && joined)
        history = joinedHistory(session.dataFile, breaker, book, places);
    if (!history)
        throw CxException();
    if (!csv.empty())
        writeOutputFile(inv, absoluteFsPath(csv), historyCsv(*history), csv);
    else if (inv.json)
        printUtf8(historyJson(breaker, *history));
    else
        printHistory(*history);
    return 0;
}

const CommandRegistration breakerCommand{{
    "breaker",
    "breaker MAKER MODEL SERIAL [--json | --csv OUT [--force]]",
    "every measurement of one breaker wherever it is filed, in date order",
    runBreaker,
    {{"json"}, {"csv", true}, {"force"}},
}};

}  // namespace
}  // namespace plm::cli
