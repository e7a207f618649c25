#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "cli/command.h"
#include "cli/record_line.h"
#include "cli/session.h"
#include "link/captured_file_source.h"
#include "link/transfer_decoder.h"
#include "support/cx_exception.h"
#include "support/paths.h"
#include "support/text_codec.h"

// plmtool decode CAPTURE.txt [--json]: decodes a captured transfer and lists
// its measurements, printing every progress text as it happens.
namespace plm::cli {
namespace {

using support::sj;
using support::toUtf8;

// Progress to stdout, or to stderr when stdout carries the JSON document.
class TerminalProgress : public link::ProgressSink {
  public:
    explicit TerminalProgress(bool toStderr) : toStderr_(toStderr) {}
    void progress(const std::string& text) override {
        if (!toStderr_) {
            printLine(text);
            return;
        }
        std::fputs(toUtf8(text).c_str(), stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }

  private:
    bool toStderr_;
};

std::string field(const char* name, const std::string& cp932) {
    return support::format("\"%s\":%s", name, jsonString(toUtf8(cp932)).c_str());
}

std::string recordJson(const model::MeasurementRecord& r) {
    std::string out = support::format("{\"dataNo\":%d,", r.dataNo);
    out += field("dateTime", r.testDateTimeText()) + ",";
    out += support::format("\"dateValid\":%s,", r.dateValid() ? "true" : "false");
    out += field("measTime", r.measTimeText()) + ",";
    out += field("measPeriod", r.measPeriodText()) + ",";
    out += support::format("\"samples\":%zu,", r.contacts.size());
    out += field("opSignal", r.opSignalText()) + ",";
    out += field("triggerDetect", r.triggerDetectText()) + ",";
    out += field("signalAcDc", r.signalAcDcText()) + ",";
    out += field("chattering", r.chatteringText()) + ",";
    out += field("measureType", r.measureTypeText()) + ",";
    out += field("measureOpe", r.measureOpeText()) + ",";
    out += field("noiseMask", r.noiseMaskText()) + ",";
    out += support::format("\"vcValue\":%d,\"vcEndValue\":%d}", r.vcValue, r.vcEndValue);
    return out;
}

void printJson(const link::TransferResult& result) {
    const char* outcome = result.outcome == link::TransferOutcome::Completed ? "completed"
                          : result.outcome == link::TransferOutcome::Stopped ? "stopped"
                                                                             : "failed";
    std::string out = support::format("{\"outcome\":\"%s\",", outcome);
    if (result.outcome == link::TransferOutcome::Failed) {
        out += field("message", result.message) + ",";
    }
    out += "\"records\":[";
    for (size_t i = 0; i < result.records.size(); ++i) {
        out += (i ? "," : "") + recordJson(result.records[i]);
    }
    printUtf8(out + "]}");
}

int runDecode(const Invocation& inv) {
    if (inv.args.size() != 1)
        throw UsageError{"expected one capture file"};
    openSession();
    // A path typed on the terminal is relative to the working folder, not to
    // the program folder that a stored ".\" path means.
    std::string fsPath = absoluteFsPath(inv.args[0]);

    TerminalProgress progress(inv.json);
    link::TransferResult result;
    try {
        link::CapturedFileSource source;
        source.open(support::fromFsPath(fsPath), progress);
        std::atomic<bool> stop{false};
        result = link::TransferDecoder(source, progress, stop).run();
    } catch (const CxException& e) {
        result.outcome = link::TransferOutcome::Failed;
        result.message = e.text();
    }
    // A failed transfer hands on only the measurements that arrived whole
    // (a journal of a transfer cut short reads back this way).
    const bool failed = result.outcome != link::TransferOutcome::Completed;
    if (failed)
        result.records.resize(std::min(result.records.size(), result.wholeCount));
    if (inv.json) {
        printJson(result);
    } else {
        for (const auto& record : result.records)
            printLine(recordLine(record));
    }
    if (!failed)
        return 0;
    printError(result.message);
    if (!result.records.empty())
        printError(wholeMeasurementsNote(result.records.size()));
    return 1;
}

const CommandRegistration registration{{
    "decode",
    "decode CAPTURE.txt [--json]",
    "decode a captured transfer file and list its measurements",
    runDecode,
    {{"json"}},
}};

}  // namespace
}  // namespace plm::cli
