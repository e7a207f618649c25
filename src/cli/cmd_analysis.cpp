#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/figures.h"
#include "analysis/limits_file.h"
#include "analysis/trend.h"
#include "analysis/verdict.h"
#include "cli/command.h"
#include "cli/command_support.h"
#include "cli/filed_record.h"
#include "cli/session.h"
#include "model/data_file_scan.h"
#include "model/record_list.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

// plmtool analyze / trend / limits: the judgement of a breaker from the
// measurements the data file keeps and the limits of the limits file.
namespace plm::cli {
namespace {

using analysis::msFromMicros;
using support::format;
using support::fromUtf8;
using support::sj;
using support::toUtf8;

using Target = analysis::LimitsTarget;

// CUSTOMER CIRCUIT [NAME] as typed (UTF-8), as stored (CP932); without a
// NAME the test circuit itself. The empty NAME is a measurement name too.
Target targetOf(const Invocation& inv) {
    Target t = Target::ofCircuit(storedText(inv.args.at(0)), storedText(inv.args.at(1)));
    if (inv.args.size() > 2)
        t.name = storedText(inv.args[2]);
    return t;
}

// The limits file as the commands of one target read it: a damaged
// section stops only the commands that need its target.
analysis::LimitsBook loadLimitsBook() {
    return analysis::loadLimits(analysis::limitsFilePath(),
                                analysis::DamagedSections::StopTheirTarget);
}

// The limits that hold for the target: a name's over its circuit's over
// the model's, with the level of each key; a model alone has its own.
analysis::LevelledLimits levelledOf(const analysis::LimitsBook& book, const Target& t,
                                    const std::optional<analysis::BreakerModel>& model) {
    return book.levelled(t, t.model ? std::nullopt : model);
}

// Messages of a scan that only looks for a name's breaker model: a data
// file that cannot be read leaves the model unknown.
class SilentReporter : public model::ErrorReporter {
  public:
    void report(const std::string&, model::MessageIcon) override {}
};

// The breaker model of the newest measurement of a name (by test date, else
// the last one listed): the model its limits come under. None for a test
// circuit, a model, a name that is not filed or a file that does not read.
std::optional<analysis::BreakerModel> newestModelOf(const std::string& dataPath, const Target& t) {
    if (!t.name || t.model)
        return std::nullopt;
    std::optional<model::TestConditions> newest;
    std::optional<double> newestDate;
    model::ScanSelection selection;
    selection.keepRecords = true;
    selection.customer = t.customer;
    selection.circuit = t.circuit;
    selection.name = *t.name;
    selection.visit = [&](const model::ScannedPlace&, const model::MeasurementRecord& r) {
        const bool dated = r.testDateTime.valid();
        if (newestDate && (!dated || r.testDateTime.value < *newestDate))
            return;
        newest = r.cond;
        if (dated)
            newestDate = r.testDateTime.value;
    };
    model::DataFileOutline outline;
    SilentReporter reporter;
    if (!model::scanDataFile(dataPath, selection, outline, reporter) || !newest)
        return std::nullopt;
    return analysis::breakerModelOf(*newest);
}

const model::MeasurementRecord& requireRecord(const model::RecordList& records, int index) {
    if (index >= records.count())
        throw std::runtime_error(
            format("no record %d (the name holds %d)", index, records.count()));
    return records.at(index);
}

std::string jsonMs(const std::optional<int64_t>& us) {
    return us ? msFromMicros(*us) : "null";
}

std::string jsonText(const std::string& cp932) {
    return jsonString(toUtf8(cp932));
}

std::string jsonGroup(const std::optional<std::vector<int>>& group) {
    if (!group)
        return "null";
    std::string out = "[";
    for (size_t i = 0; i < group->size(); ++i)
        out += (i ? "," : "") + std::to_string((*group)[i]);
    return out + "]";
}

// Every key, null where it is not set.
std::string limitsJson(const analysis::Limits& limits) {
    std::string out = "{";
    for (const std::string& key : analysis::limitKeys()) {
        if (key == "pole_group")
            continue;
        const std::string text = analysis::limitText(limits, key);
        out += format("\"%s\":%s,", key.c_str(), text.empty() ? "null" : text.c_str());
    }
    return out + "\"pole_group\":" + jsonGroup(limits.poleGroup) + "}";
}

// The level each key came from ("model", "circuit", "name"), null where no
// level sets it.
std::string levelsJson(const analysis::LevelledLimits& held) {
    std::string out = "{";
    for (const std::string& key : analysis::limitKeys()) {
        const std::string level = analysis::levelKey(held.levelOf(key));
        out += format("%s\"%s\":%s", out.size() > 1 ? "," : "", key.c_str(),
                      level.empty() ? "null" : jsonString(level).c_str());
    }
    return out + "}";
}

std::string modelJson(const std::optional<analysis::BreakerModel>& model) {
    if (!model)
        return "null";
    return format("{\"maker\":%s,\"model\":%s}", jsonText(model->maker).c_str(),
                  jsonText(model->model).c_str());
}

std::string finalStateText(const std::optional<bool>& on) {
    return on ? (*on ? "ON" : "OFF") : "";
}

std::string analyzeJson(const analysis::MeasurementFigures& f, const analysis::Judgement& j,
                        const analysis::LevelledLimits& held) {
    analysis::Limits limits = held.limits;
    std::string out = "{\"channels\":[";
    for (size_t i = 0; i < f.channels.size(); ++i) {
        const analysis::ChannelFigures& ch = f.channels[i];
        const std::string state = finalStateText(ch.finalOn);
        out += format(
            "%s{\"channel\":%d,\"operating_ms\":%s,\"changes\":%d,\"bounce_ms\":%s,"
            "\"final_state\":%s,\"verdict\":%s,\"reason\":%s}",
            i ? "," : "", ch.channel, jsonMs(ch.operatingUs).c_str(), ch.changes,
            jsonMs(ch.bounceUs).c_str(), state.empty() ? "null" : jsonString(state).c_str(),
            jsonText(analysis::verdictText(j.channels[i].verdict)).c_str(),
            jsonText(j.channels[i].reason).c_str());
    }
    limits.poleGroup = limits.poleGroupOrDefault();
    out += format(
        "],\"pole_spread_ms\":%s,\"verdict\":%s,\"reason\":%s,\"limits\":%s,"
        "\"levels\":%s}",
        jsonMs(f.poleSpreadUs).c_str(), jsonText(analysis::verdictText(j.verdict)).c_str(),
        jsonText(j.reason).c_str(), limitsJson(limits).c_str(), levelsJson(held).c_str());
    return out;
}

std::string msOrDash(const std::optional<int64_t>& us) {
    return us ? msFromMicros(*us) + " ms" : "---";
}

void printAnalysis(const analysis::MeasurementFigures& f, const analysis::Judgement& j) {
    for (size_t i = 0; i < f.channels.size(); ++i) {
        const analysis::ChannelFigures& ch = f.channels[i];
        printLine(format(sj("CH%d: 動作時間 %s, 変化 %d 回, バウンス %s, 最終 %s, %s (%s)").c_str(),
                         ch.channel, msOrDash(ch.operatingUs).c_str(), ch.changes,
                         msOrDash(ch.bounceUs).c_str(), finalStateText(ch.finalOn).c_str(),
                         analysis::verdictText(j.channels[i].verdict).c_str(),
                         j.channels[i].reason.c_str()));
    }
    printLine(format(sj("極間差: %s").c_str(), msOrDash(f.poleSpreadUs).c_str()));
    printLine(format(sj("判定: %s (%s)").c_str(), analysis::verdictText(j.verdict).c_str(),
                     j.reason.c_str()));
}

int runAnalyze(const Invocation& inv) {
    if (inv.args.size() != 4)
        throw UsageError{"expected CUSTOMER CIRCUIT NAME INDEX"};
    const int index = parseIndex(inv.args[3]);
    Session& session = openSession();
    const Target t = targetOf(inv);
    const analysis::LimitsBook book = loadLimitsBook();
    const std::optional<model::MeasurementRecord> record = scanFiledRecord(
        session.dataFile, inv.args[0], inv.args[1], inv.args[2], static_cast<uint32_t>(index));
    if (!record)
        throw CxException();
    const analysis::LevelledLimits held = book.levelled(t, analysis::breakerModelOf(record->cond));
    const analysis::Limits& limits = held.limits;
    const analysis::MeasurementFigures figures =
        analysis::computeFigures(*record, limits.poleGroupOrDefault());
    const analysis::Judgement judgement = analysis::judge(*record, figures, limits);
    if (inv.json)
        printUtf8(analyzeJson(figures, judgement, held));
    else
        printAnalysis(figures, judgement);
    return 0;
}

std::string trendJson(const analysis::Trend& trend) {
    std::string out = "{\"measurements\":[";
    for (size_t i = 0; i < trend.entries.size(); ++i) {
        const analysis::TrendEntry& e = trend.entries[i];
        std::string times = "[";
        for (size_t c = 0; c < e.operatingUs.size(); ++c)
            times += (c ? "," : "") + jsonMs(e.operatingUs[c]);
        out += format(
            "%s{\"index\":%d,\"date\":%s,\"measure_type\":%s,\"operating_ms\":%s],"
            "\"pole_spread_ms\":%s,\"verdict\":%s}",
            i ? "," : "", e.index, jsonText(analysis::trendDateText(e)).c_str(),
            jsonText(e.measureType == 0 ? sj("投入") : sj("遮断")).c_str(), times.c_str(),
            jsonMs(e.poleSpreadUs).c_str(), jsonText(analysis::verdictText(e.verdict)).c_str());
    }
    return out + "]}";
}

std::string csvMs(const std::optional<int64_t>& us) {
    return us ? msFromMicros(*us) : "";
}

// UTF-8 with a header row; empty fields where a value does not exist.
std::string trendCsv(const analysis::Trend& trend) {
    std::string out = "index,date,measure_type";
    for (int c = 1; c <= trend.channels; ++c)
        out += format(",ch%d_ms", c);
    out += ",pole_spread_ms,verdict,reference";
    for (int c = 1; c <= trend.channels; ++c)
        out += format(",ch%d_delta_ms", c);
    out += ",pole_spread_delta_ms\r\n";
    for (size_t i = 0; i < trend.entries.size(); ++i) {
        const analysis::TrendEntry& e = trend.entries[i];
        out += format("%d,%s,%s", e.index, toUtf8(analysis::trendDateText(e)).c_str(),
                      e.measureType == 0 ? "投入" : "遮断");
        for (size_t c = 0; c < static_cast<size_t>(trend.channels); ++c)
            out += "," + (c < e.operatingUs.size() ? csvMs(e.operatingUs[c]) : "");
        out += format(",%s,%s,%d", csvMs(e.poleSpreadUs).c_str(),
                      toUtf8(analysis::verdictText(e.verdict)).c_str(),
                      static_cast<int>(i) == trend.reference ? 1 : 0);
        for (size_t c = 0; c < static_cast<size_t>(trend.channels); ++c)
            out += "," + csvMs(trend.operatingDelta(i, c));
        out += "," + csvMs(trend.spreadDelta(i)) + "\r\n";
    }
    return out;
}

void printTrend(const analysis::Trend& trend) {
    for (size_t i = 0; i < trend.entries.size(); ++i) {
        const analysis::TrendEntry& e = trend.entries[i];
        std::string line = format("%d %s %s", e.index, analysis::trendDateText(e).c_str(),
                                  (e.measureType == 0 ? sj("投入") : sj("遮断")).c_str());
        for (size_t c = 0; c < e.operatingUs.size(); ++c) {
            const std::optional<int64_t> delta = trend.operatingDelta(i, c);
            line += format(" CH%zu=%s", c + 1, csvMs(e.operatingUs[c]).c_str());
            if (delta && trend.referenceFor(i) != i)
                line += format("(%s%s)", *delta >= 0 ? "+" : "", msFromMicros(*delta).c_str());
        }
        line += format(sj(" 極間差=%s %s").c_str(), csvMs(e.poleSpreadUs).c_str(),
                       analysis::verdictText(e.verdict).c_str());
        if (static_cast<int>(i) == trend.reference)
            line += sj(" [基準]");
        printLine(line);
    }
}

void markReference(const Target& t, const model::MeasurementRecord& record) {
    const analysis::ReferenceMark mark =
        analysis::referenceMarkOf(record.testDateTime, record.dataNo);
    analysis::updateLimits(analysis::limitsFilePath(),
                           [&](analysis::LimitsBook& book) { book.entry(t).reference = mark; });
}

int runTrend(const Invocation& inv) {
    if (inv.args.size() != 3)
        throw UsageError{"expected CUSTOMER CIRCUIT NAME"};
    const std::string csv = inv.flagValue("csv");
    if (inv.hasFlag("csv") && csv.empty())
        throw UsageError{"--csv needs an output file"};
    const std::string referenceArg = inv.flagValue("reference");
    Session& session = openSession();
    // Refused before the reference mark is stored: a refused run changes nothing.
    if (!csv.empty())
        refuseTakenOutput(inv, absoluteFsPath(csv));
    const Target t = targetOf(inv);
    const std::optional<model::RecordList> records =
        scanFiledName(session.dataFile, inv.args[0], inv.args[1], inv.args[2], std::nullopt);
    if (!records)
        throw CxException();
    if (inv.hasFlag("reference"))
        markReference(t, requireRecord(*records, parseIndex(referenceArg)));
    const analysis::LimitsBook book = loadLimitsBook();
    const analysis::LimitsEntry* own = book.find(t);
    const analysis::Trend trend = analysis::computeTrendByRecord(
        *records,
        [&](const model::MeasurementRecord& r) {
            return book.effective(t.customer, t.circuit, *t.name, r.cond);
        },
        own ? own->reference : std::nullopt);
    if (!csv.empty()) {
        writeOutputFile(inv, absoluteFsPath(csv), trendCsv(trend), csv);
    } else if (inv.json) {
        printUtf8(trendJson(trend));
    } else {
        printTrend(trend);
    }
    return 0;
}

// "KEY=VALUE" of every --set, in the order given.
std::vector<std::pair<std::string, std::string>> settingsOf(const Invocation& inv) {
    std::vector<std::pair<std::string, std::string>> out;
    for (size_t i = 0; i < inv.flags.size(); ++i) {
        std::string item;
        if (inv.flags[i] == "--set" && i + 1 < inv.flags.size())
            item = inv.flags[++i];
        else if (inv.flags[i].rfind("--set=", 0) == 0)
            item = inv.flags[i].substr(6);
        else
            continue;
        const size_t eq = item.find('=');
        if (eq == std::string::npos)
            throw UsageError{"--set takes KEY=VALUE (KEY= clears the key)"};
        out.emplace_back(item.substr(0, eq), fromUtf8(item.substr(eq + 1)));
    }
    return out;
}

void applySettings(const Target& t, const std::optional<analysis::BreakerModel>& model,
                   const std::vector<std::pair<std::string, std::string>>& settings) {
    analysis::updateLimits(analysis::limitsFilePath(), [&](analysis::LimitsBook& book) {
        analysis::Limits& limits = book.entry(t).limits;
        for (const auto& [key, value] : settings) {
            if (key == analysis::kIntervalMonthsKey)
                analysis::setIntervalMonths(book.entry(t), value);
            else
                analysis::setLimit(limits, key, value);
        }
        if (const std::string problem = analysis::inconsistency(limits); !problem.empty())
            throw CxException(problem);
        const analysis::Limits effective = levelledOf(book, t, model).limits;
        if (const std::string problem = analysis::inconsistency(effective); !problem.empty())
            throw CxException(problem);
    });
}

// The test interval set for a circuit or a name: the name's own, else its
// circuit's, with the level it came from.
struct HeldInterval {
    std::optional<int> months;
    analysis::LimitsLevel level = analysis::LimitsLevel::None;
};

HeldInterval intervalOf(const analysis::LimitsBook& book, const Target& t) {
    const analysis::LimitsEntry* name = t.name ? book.find(t) : nullptr;
    if (name && name->intervalMonths)
        return {name->intervalMonths, analysis::LimitsLevel::Name};
    const analysis::LimitsEntry* circuit = book.find(Target::ofCircuit(t.customer, t.circuit));
    if (circuit && circuit->intervalMonths)
        return {circuit->intervalMonths, analysis::LimitsLevel::Circuit};
    return {};
}

void printIntervalMonths(const HeldInterval& held) {
    const std::string key = analysis::kIntervalMonthsKey;
    if (held.months)
        printLine(key + "=" + std::to_string(*held.months) + " (" +
                  analysis::levelText(held.level) + ")");
    else
        printLine(key + "=");
}

// The limits that hold with the level of each, and for a test circuit or a
// name its test interval.
void printLimits(const analysis::LevelledLimits& held, const analysis::LimitsBook& book,
                 const Target& t) {
    for (const std::string& key : analysis::limitKeys()) {
        const std::string value = analysis::limitText(held.limits, key);
        if (value.empty())
            printLine(key + "=");
        else
            printLine(key + "=" + value + " (" + analysis::levelText(held.levelOf(key)) + ")");
    }
    if (!t.model)
        printIntervalMonths(intervalOf(book, t));
}

// --model MAKER MODEL, else CUSTOMER CIRCUIT [NAME].
Target limitsTargetOf(const Invocation& inv) {
    if (!inv.hasFlag("model")) {
        if (inv.args.size() < 2 || inv.args.size() > 3)
            throw UsageError{"expected CUSTOMER CIRCUIT [NAME] or --model MAKER MODEL"};
        return targetOf(inv);
    }
    if (inv.args.size() != 2)
        throw UsageError{"expected --model MAKER MODEL"};
    if (inv.args[1].empty())
        throw UsageError{"MODEL must not be empty"};
    return Target::ofModel(storedText(inv.args[0]), storedText(inv.args[1]));
}

std::string entryLimitsJson(const analysis::LimitsBook& book, const Target& t) {
    const analysis::LimitsEntry* entry = book.find(t);
    return limitsJson(entry ? entry->limits : analysis::Limits());
}

std::string limitsReportJson(const analysis::LimitsBook& book, const Target& t,
                             const std::optional<analysis::BreakerModel>& model) {
    const analysis::LevelledLimits held = levelledOf(book, t, model);
    if (t.model) {
        return format("{\"model\":%s,\"limits\":%s,\"levels\":%s}", modelJson(t.model).c_str(),
                      limitsJson(held.limits).c_str(), levelsJson(held).c_str());
    }
    const HeldInterval interval = intervalOf(book, t);
    return format(
        "{\"limits\":%s,\"circuit_limits\":%s,\"name_limits\":%s,\"levels\":%s,\"model\":%s,"
        "\"model_limits\":%s,\"interval_months\":%s,\"interval_level\":%s}",
        limitsJson(held.limits).c_str(),
        entryLimitsJson(book, Target::ofCircuit(t.customer, t.circuit)).c_str(),
        t.name ? entryLimitsJson(book, t).c_str() : "null", levelsJson(held).c_str(),
        modelJson(model).c_str(),
        model ? entryLimitsJson(book, Target::ofModel(model->maker, model->model)).c_str() : "null",
        interval.months ? std::to_string(*interval.months).c_str() : "null",
        interval.months ? ("\"" + analysis::levelKey(interval.level) + "\"").c_str() : "null");
}

// The test circuit or name must be in the data file before it gets limits.
void requireFiled(Session& session, const Invocation& inv) {
    const bool filed =
        inv.args.size() > 2 && inv.args[2].empty()
            // The empty name is a name of its own, not the test circuit.
            ? scanFiledName(session.dataFile, inv.args[0], inv.args[1], "", std::nullopt)
                  .has_value()
            : scanFiledTarget(session.dataFile, inv.args[0], inv.args[1],
                              inv.args.size() > 2 ? inv.args[2] : "");
    if (!filed)
        throw CxException();
}

int runLimits(const Invocation& inv) {
    const Target t = limitsTargetOf(inv);
    const auto settings = settingsOf(inv);
    Session& session = openSession();
    // A model needs no place in the data file: its limits are entered before
    // any of its breakers is measured.
    if (!settings.empty() && !t.model)
        requireFiled(session, inv);
    const std::optional<analysis::BreakerModel> model = newestModelOf(session.dataFile, t);
    if (!settings.empty())
        applySettings(t, model, settings);
    const analysis::LimitsBook book = loadLimitsBook();
    if (inv.json)
        printUtf8(limitsReportJson(book, t, model));
    else
        printLimits(levelledOf(book, t, model), book, t);
    return 0;
}

int runLimitsExport(const Invocation& inv) {
    const bool models = inv.hasFlag("models");
    if (inv.args.size() != (models ? 1u : 2u))
        throw UsageError{models ? "expected --models OUT.INI" : "expected CUSTOMER OUT.INI"};
    const std::string& out = inv.args.back();
    openSession();
    refuseTakenOutput(inv, absoluteFsPath(out));
    const analysis::LimitsBook book =
        models ? loadLimitsBook().ofModels() : loadLimitsBook().ofCustomer(storedText(inv.args[0]));
    if (book.entries().empty())
        throw std::runtime_error(models ? "no limits are set for any breaker model"
                                        : "no limits are set for " + inv.args[0]);
    writeOutputFile(inv, absoluteFsPath(out), book.bytes(), out);
    printUtf8(format(models ? "exported the limits of %zu breaker model(s)"
                            : "exported the limits of %zu test circuit(s) and name(s)",
                     book.entries().size()));
    return 0;
}

int runLimitsImport(const Invocation& inv) {
    if (inv.args.size() != 1)
        throw UsageError{"expected FILE.INI"};
    openSession();
    const analysis::LimitsBook imported = analysis::loadLimits(absoluteFsPath(inv.args[0]));
    analysis::updateLimits(analysis::limitsFilePath(),
                           [&](analysis::LimitsBook& book) { book.merge(imported); });
    for (const analysis::LimitsEntry& e : imported.entries())
        printLine(analysis::targetText(e.target));
    return 0;
}

const CommandRegistration analyzeCommand{{
    "analyze",
    "analyze CUSTOMER CIRCUIT NAME INDEX [--json]",
    "timing figures of one record and its verdict against the limits",
    runAnalyze,
    {{"json"}},
}};

const CommandRegistration trendCommand{{
    "trend",
    "trend CUSTOMER CIRCUIT NAME [--json | --csv OUT [--force]] [--reference INDEX]",
    "operating times and pole spread of every record of a name in date order",
    runTrend,
    {{"json"}, {"csv", true}, {"reference", true}, {"force"}},
}};

const CommandRegistration limitsCommand{{
    "limits",
    "limits CUSTOMER CIRCUIT [NAME] | --model MAKER MODEL [--set KEY=VALUE ...] [--json]",
    "show or set the limits of a test circuit, a measurement name or a breaker model",
    runLimits,
    {{"json"}, {"set", true}, {"model"}},
}};

const CommandRegistration limitsExportCommand{{
    "limits-export",
    "limits-export CUSTOMER OUT.INI | --models OUT.INI [--force]",
    "write the limits and reference marks of one customer, or the limits of every breaker "
    "model, as a limits file of their own",
    runLimitsExport,
    {{"force"}, {"models"}},
}};

const CommandRegistration limitsImportCommand{{
    "limits-import",
    "limits-import FILE.INI",
    "take the limits of such a file into the limits file (same targets are replaced)",
    runLimitsImport,
}};

}  // namespace
}  // namespace plm::cli
