#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/command_support.h"
#include "cli/filed_record.h"
#include "cli/session.h"
#include "link/captured_file_source.h"
#include "link/transfer_decoder.h"
#include "model/customer_exchange.h"
#include "model/customer_tree.h"
#include "model/data_file_scan.h"
#include "model/record_register.h"
#include "model/shared_data_file.h"
#include "report/operating_times.h"
#include "support/cx_exception.h"
#include "support/paths.h"
#include "support/text_codec.h"

// plmtool register / list / show / export / import: the customer tree in the
// data file, from the terminal.
namespace plm::cli {
namespace {

using support::format;
using support::fromUtf8;
using support::sj;
using support::toUtf8;

// The protocol texts of a decode, shown only when asked for (--verbose).
class StdoutProgress : public link::ProgressSink {
  public:
    explicit StdoutProgress(bool shown) : shown_(shown) {}
    void progress(const std::string& text) override {
        if (shown_)
            printLine(text);
    }

  private:
    bool shown_;
};

// A path typed on the terminal is relative to the working folder, not to the
// program folder that a stored ".\" path means.
std::string storedFromTyped(const std::string& typed) {
    return support::fromFsPath(absoluteFsPath(typed));
}

std::string dataFilePath(const Invocation& inv, const Session& session) {
    const std::string typed = inv.flagValue("data");
    return typed.empty() ? session.dataFile : storedFromTyped(typed);
}

// The read-only commands scan the file: it is checked whole, but only the
// records a command shows are kept, and a file that cannot be read has been
// reported and stays as it is.
model::DataFileOutline scanTree(const std::string& path, const model::ScanSelection& selection) {
    StderrReporter reporter;
    model::DataFileOutline outline;
    outline.devType = sessionDevType();
    if (!model::scanDataFile(path, selection, outline, reporter))
        throw CxException();
    return outline;
}

// Reads, changes and writes the data file under one lock, so that a writer
// running at the same time never loses its records to this one.
void updateTree(const std::string& path, const std::function<void(model::CustomerTree&)>& change) {
    StderrReporter reporter;
    model::SharedDataFile file(path, sessionDevType());
    if (!file.update(change, reporter))
        throw CxException();
}

std::vector<model::MeasurementRecord> decodeCapture(const std::string& typedPath, bool verbose) {
    StdoutProgress progress(verbose);
    link::CapturedFileSource source;
    source.open(storedFromTyped(typedPath), progress);
    std::atomic<bool> stop{false};
    link::TransferDecoder decoder(source, progress, stop);
    decoder.setDevType(sessionDevType());
    link::TransferResult result = decoder.run();
    if (result.outcome != link::TransferOutcome::Completed)
        throw CxException(result.message);
    return std::move(result.records);
}

// "filed No.3  2015/01/06 10:20  <measure type>": one measurement just filed.
std::string filedLine(const model::MeasurementRecord& r, int index) {
    return format("filed No.%d  %s  %s", index + 1, r.testDateTimeText().c_str(),
                  r.measureTypeText().c_str());
}

int runRegister(const Invocation& inv) {
    if (inv.args.size() != 4)
        throw UsageError{"expected CAPTURE.txt CUSTOMER CIRCUIT NAME"};
    const std::string customer = storedText(inv.args[1]);
    const std::string circuit = storedText(inv.args[2]);
    const std::string nameText = storedText(inv.args[3]);
    Session& session = openSession();
    const std::string path = dataFilePath(inv, session);
    const std::vector<model::MeasurementRecord> records =
        decodeCapture(inv.args[0], inv.hasFlag("verbose"));
    const auto mode =
        inv.hasFlag("replace") ? model::RegisterMode::Replace : model::RegisterMode::Append;
    int filed = 0;
    std::vector<std::string> filedLines;
    updateTree(path, [&](model::CustomerTree& tree) {
        model::MeasurementName& name =
            model::findOrAddMeasurementName(tree, customer, circuit, nameText);
        const model::Filing filing = model::fileRecords(
            name, records, mode, model::registerTemplate(name, session.settings));
        filed = name.records.count();
        filedLines.clear();
        for (int i = 0; i < filed; ++i) {
            if (filing.filed[static_cast<size_t>(i)])
                filedLines.push_back(filedLine(name.records.at(i), i));
        }
    });
    for (const std::string& line : filedLines)
        printLine(line);
    printUtf8(format("registered %zu record(s) under %s / %s / %s (%d in all)", records.size(),
                     inv.args[1].c_str(), inv.args[2].c_str(), inv.args[3].c_str(), filed));
    return 0;
}

// A stored text for the terminal: control characters (an escape sequence
// from an imported file, say) are shown as \xHH instead of acting on the
// terminal. CP932 trail bytes are never control bytes, so bytes are safe.
std::string visibleText(const std::string& cp932) {
    std::string out;
    out.reserve(cp932.size());
    for (char ch : cp932) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x20 || b == 0x7F)
            out += format("\\x%02X", b);
        else
            out += ch;
    }
    return out;
}

std::string jsonText(const std::string& cp932) {
    return jsonString(toUtf8(cp932));
}

std::string listJson(const model::DataFileOutline& tree) {
    const model::LineSettings& l = tree.lineSettings;
    std::string out = format(
        "{\"lineSettings\":{\"port\":%d,\"baud\":%d,\"byteSize\":%d,\"stopBits\":%d,"
        "\"parity\":%d,\"flow\":%d},\"customers\":[",
        l.port, l.baud, l.byteSize, l.stopBits, l.parity, l.flow);
    const char* sep1 = "";
    for (const model::ScannedCustomer& c : tree.customers) {
        out += format("%s{\"name\":%s,\"circuits\":[", sep1, jsonText(c.name).c_str());
        const char* sep2 = "";
        for (const model::ScannedCircuit& t : c.circuits) {
            out += format("%s{\"name\":%s,\"names\":[", sep2, jsonText(t.name).c_str());
            const char* sep3 = "";
            for (const model::ScannedName& n : t.names) {
                out += format("%s{\"name\":%s,\"records\":%u}", sep3, jsonText(n.name).c_str(),
                              n.recordCount);
                sep3 = ",";
            }
            out += "]}";
            sep2 = ",";
        }
        out += "]}";
        sep1 = ",";
    }
    return out + "]}";
}

int runList(const Invocation& inv) {
    if (!inv.args.empty())
        throw UsageError{"list takes no arguments"};
    Session& session = openSession();
    const model::DataFileOutline tree =
        scanTree(dataFilePath(inv, session), model::ScanSelection::outline());
    if (inv.json) {
        printUtf8(listJson(tree));
        return 0;
    }
    for (const model::ScannedCustomer& c : tree.customers) {
        printLine(visibleText(c.name));
        for (const model::ScannedCircuit& t : c.circuits) {
            printLine("  " + visibleText(t.name));
            for (const model::ScannedName& n : t.names) {
                printLine(format("    %s (%u)", visibleText(n.name).c_str(), n.recordCount));
            }
        }
    }
    return 0;
}

int indexOf(const Invocation& inv) {
    return inv.args.size() < 4 ? 0 : parseIndex(inv.args[3]);
}

using LabelList = std::vector<std::pair<std::string, std::string>>;

// The labels of the phase values: the settings keys in JSON, which scripts
// read, and Japanese ones for the reader.
enum class PhaseLabels { Keys, Japanese };

std::string phaseLabel(const char* key, const char* japanese, char phase, PhaseLabels labels) {
    return labels == PhaseLabels::Keys ? format("%s%c", key, phase)
                                       : format(sj(japanese).c_str(), phase);
}

// The labels of a measurement, in the order the test sheet shows them.
LabelList recordLabels(const model::MeasurementRecord& r, PhaseLabels phaseLabels) {
    const model::TestConditions& c = r.cond;
    LabelList labels = {
        {sj("データ№"), r.dataNoText()},
        {sj("試験日時"), r.testDateTimeText()},
        {sj("装置タイプ"), r.devTypeText()},
        {sj("動作信号"), r.opSignalText()},
        {sj("トリガ検出"), r.triggerDetectText()},
        {sj("投入･遮断信号"), r.signalAcDcText()},
        {sj("ﾁｬﾀﾘﾝｸﾞ測定"), r.chatteringText()},
        {sj("計測時間"), r.measTimeText()},
        {sj("測定周期"), r.measPeriodText()},
        {sj("電圧電流"), r.vcValueText()},
        {sj("測定種別"), r.measureTypeText()},
        {sj("測定動作"), r.measureOpeText()},
        {sj("ﾉｲｽﾞﾏｽｸ"), r.noiseMaskText()},
        {sj("型式"), c.mcType},
        {sj("製造番号"), c.mcNum},
        {sj("製造年月日"), c.mcDate},
        {sj("製造元"), c.mcMaker},
    };
    const char* phases = "RST";
    for (int p = 0; p < 3; ++p)
        labels.emplace_back(phaseLabel("Sesshoku", "接触(%c相)", phases[p], phaseLabels),
                            r.sesshokuText(p));
    for (int p = 0; p < 3; ++p)
        labels.emplace_back(phaseLabel("Vacuum", "真空度(%c相)", phases[p], phaseLabels),
                            r.vacuumText(p));
    labels.insert(labels.end(), {{sj("天候"), c.weather},
                                 {sj("温度[℃]"), r.tempText()},
                                 {sj("湿度[％]"), r.humText()},
                                 {sj("備考"), c.comment}});
    for (int ch = 0; ch < r.channelCount(); ++ch) {
        labels.emplace_back(format("CH%d", ch + 1), c.chComment[static_cast<size_t>(ch)]);
    }
    return labels;
}

// Ten operating-time texts per channel; a record too short to measure shows "---".
std::vector<std::vector<std::string>> operatingTimes(const model::MeasurementRecord& r) {
    std::vector<std::vector<std::string>> rows;
    for (int ch = 0; ch < r.channelCount(); ++ch) {
        std::vector<std::string> row(10, "---");
        if (r.contacts.size() >= 2) {
            const report::IntervalArray intervals = report::OperatingTimeIntervals(r, ch);
            for (size_t i = 0; i < intervals.size(); ++i) {
                row[i] = report::intervalText(r, intervals[i]);
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string showJson(const Invocation& inv, int index, const model::MeasurementRecord& r) {
    std::string out = format("{\"customer\":%s,\"circuit\":%s,\"name\":%s,\"index\":%d,",
                             jsonString(inv.args[0]).c_str(), jsonString(inv.args[1]).c_str(),
                             jsonString(inv.args[2]).c_str(), index);
    out += format("\"samples\":%zu,\"labels\":[", r.contacts.size());
    const char* sep = "";
    for (const auto& [label, value] : recordLabels(r, PhaseLabels::Keys)) {
        out += format("%s{\"label\":%s,\"value\":%s}", sep, jsonText(label).c_str(),
                      jsonText(value).c_str());
        sep = ",";
    }
    out += "],\"operatingTimes\":[";
    sep = "";
    for (const auto& row : operatingTimes(r)) {
        out += sep;
        out += "[";
        for (size_t i = 0; i < row.size(); ++i)
            out += (i ? "," : "") + jsonText(row[i]);
        out += "]";
        sep = ",";
    }
    return out + "]}";
}

void printShow(const model::MeasurementRecord& r) {
    for (const auto& [label, value] : recordLabels(r, PhaseLabels::Japanese))
        printLine(label + ": " + visibleText(value));
    printLine(format("%s: %zu", sj("接点データ数").c_str(), r.contacts.size()));
    int ch = 1;
    for (const auto& row : operatingTimes(r)) {
        std::string line = format(sj("動作時間[ms] %dCH:").c_str(), ch++);
        for (const auto& text : row)
            line += " " + text;
        printLine(line);
    }
}

int runShow(const Invocation& inv) {
    if (inv.args.size() < 3 || inv.args.size() > 4) {
        throw UsageError{"expected CUSTOMER CIRCUIT NAME [INDEX]"};
    }
    const int index = indexOf(inv);
    Session& session = openSession();
    const std::optional<model::MeasurementRecord> record =
        scanFiledRecord(dataFilePath(inv, session), inv.args[0], inv.args[1], inv.args[2],
                        static_cast<uint32_t>(index));
    if (!record)
        throw CxException();
    if (inv.json) {
        printUtf8(showJson(inv, index, *record));
    } else {
        printShow(*record);
    }
    return 0;
}

int runExport(const Invocation& inv) {
    if (inv.args.size() != 2)
        throw UsageError{"expected CUSTOMER OUT.QBX"};
    Session& session = openSession();
    refuseTakenOutput(inv, absoluteFsPath(inv.args[1]));
    model::DataFileOutline tree = scanTree(
        dataFilePath(inv, session), model::ScanSelection::wholeCustomer(storedText(inv.args[0])));
    model::ScannedCustomer* scanned = tree.customers.get(storedText(inv.args[0]));
    if (!scanned) {
        throw CxException(
            format(sj("保存する %s を選んでください").c_str(), session.settings.itemName1.c_str()));
    }
    const model::Customer customer = std::move(*scanned).toCustomer();
    StderrReporter reporter;
    if (!model::exportCustomer(customer, storedFromTyped(inv.args[1]), reporter,
                               inv.hasFlag("force")))
        return 1;
    printLine(sj("正常に保存しました。"));
    return 0;
}

int runImport(const Invocation& inv) {
    if (inv.args.size() != 1)
        throw UsageError{"expected FILE.QBX"};
    Session& session = openSession();
    const std::string path = dataFilePath(inv, session);
    const std::string source = storedFromTyped(inv.args[0]);
    StderrReporter reporter;
    model::CustomerTree loaded;
    loaded.devType = session.settings.deviceTypeIndex;
    // The file to import is only read: whatever it holds, it stays as it is.
    if (!loaded.load(source, reporter, model::DamagedFile::Leave))
        return 1;
    if (loaded.customers.empty()) {
        throw std::runtime_error("no customers to import in " + inv.args[0]);
    }
    std::vector<std::string> given;
    updateTree(path, [&](model::CustomerTree& tree) {
        given = model::mergeCustomers(tree, loaded, reporter);
    });
    for (const std::string& name : given)
        printLine(name);
    return 0;
}

const CommandRegistration registerCommand{{
    "register",
    "register CAPTURE.txt CUSTOMER CIRCUIT NAME [--replace] [--verbose]",
    "decode a captured transfer and file all its records (appended, or replacing)",
    runRegister,
    {{"replace"}, {"verbose"}},
}};

const CommandRegistration listCommand{{
    "list",
    "list [--json]",
    "the customer tree with the number of records of every measurement name",
    runList,
    {{"json"}},
}};

const CommandRegistration showCommand{{
    "show",
    "show CUSTOMER CIRCUIT NAME [INDEX] [--json]",
    "labels and operating times of one filed record (INDEX 0-based, default 0)",
    runShow,
    {{"json"}},
}};

const CommandRegistration exportCommand{{
    "export",
    "export CUSTOMER OUT.QBX [--force]",
    "write one customer with its whole subtree to an export file",
    runExport,
    {{"force"}},
}};

const CommandRegistration importCommand{{
    "import",
    "import FILE.QBX",
    "add every customer of an export file to the data file (renaming taken names)",
    runImport,
}};

}  // namespace
}  // namespace plm::cli
