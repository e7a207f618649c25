#include <filesystem>
#include <memory>
#include <stdexcept>

#include "chart/report_page.h"
#include "cli/cmd_batch.h"
#include "cli/command.h"
#include "cli/gui_start.h"
#include "cli/session.h"
#include "model/customer_tree.h"
#include "report/csv_writer.h"
#include "support/log_writer.h"
#include "support/paths.h"
#include "support/text_codec.h"

// plmtool csv / report: the outputs of one filed measurement, the CSV
// test-result file and the printed report page (PDF or PNG).
namespace plm::cli {
namespace {

class StderrReporter : public model::ErrorReporter {
  public:
    void report(const std::string& text, model::MessageIcon) override {
        printError(text);
        failed = true;
    }
    bool failed = false;
};

struct Target {
    chart::SheetNames names;
    model::MeasurementRecord record;
};

// CUSTOMER CIRCUIT NAME INDEX from the terminal (UTF-8) to the filed record.
Target findTarget(const Invocation& inv, Session& session) {
    int index = -1;
    try {
        size_t used = 0;
        index = std::stoi(inv.args[3], &used);
        if (used != inv.args[3].size())
            index = -1;
    } catch (const std::exception&) {
        index = -1;
    }
    if (index < 0)
        throw UsageError{"INDEX must be a record position (0, 1, ...)"};
    Target target;
    target.names = {support::fromUtf8(inv.args[0]), support::fromUtf8(inv.args[1]),
                    support::fromUtf8(inv.args[2])};
    model::CustomerTree tree;
    StderrReporter reporter;
    if (!tree.load(session.dataFile, reporter, model::DamagedFile::Leave))
        throw std::runtime_error("the data file could not be read");
    const model::MeasurementName* name = model::findMeasurementName(
        tree, target.names.level1, target.names.level2, target.names.level3);
    if (!name)
        throw std::runtime_error("no such measurement name: " + inv.args[0] + " / " + inv.args[1] +
                                 " / " + inv.args[2]);
    if (index >= name->records.count()) {
        throw std::runtime_error(
            support::format("no record %d (the name holds %d)", index, name->records.count()));
    }
    target.record = name->records.at(index);
    return target;
}

int runCsv(const Invocation& inv) {
    if (isBatch(inv))
        return runBatchCsv(inv);
    if (inv.args.size() != 5)
        throw UsageError{"expected CUSTOMER [CIRCUIT [NAME [INDEX]]] OUT"};
    Session& session = openSession();
    support::openAppLog();
    const Target target = findTarget(inv, session);
    StderrReporter reporter;
    const report::CsvNames names{target.names.level1, target.names.level2, target.names.level3};
    const bool ok = report::WriteCsvFile(support::fromFsPath(absoluteFsPath(inv.args[4])),
                                         report::CsvLayout::fromSettings(session.settings), names,
                                         target.record, reporter);
    return ok ? 0 : 1;
}

bool endsWithNoCase(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() &&
           support::lowerMb(s.substr(s.size() - suffix.size())) == suffix;
}

int runReport(const Invocation& inv) {
    if (isBatch(inv) || inv.hasFlag("summary"))
        return runBatchReport(inv);
    if (inv.args.size() != 5)
        throw UsageError{"expected CUSTOMER [CIRCUIT [NAME [INDEX]]] OUT.pdf|OUT.png"};
    const std::string& out = inv.args[4];
    const bool pdf = endsWithNoCase(out, ".pdf");
    if (!pdf && !endsWithNoCase(out, ".png"))
        throw UsageError{"the output must end in .pdf or .png"};
    Session& session = openSession();
    const Target target = findTarget(inv, session);
    const std::unique_ptr<QGuiApplication> gui = startGui();
    if (pdf) {
        chart::writeReportPdf(absoluteFsPath(out), session.settings, target.names, &target.record);
    } else {
        chart::writeReportPng(absoluteFsPath(out), session.settings, target.names, &target.record);
    }
    return 0;
}

const CommandRegistration csvRegistration{{
    "csv",
    "csv CUSTOMER [CIRCUIT [NAME [INDEX]]] OUT [--force]",
    "one measurement as a CSV test-result file, or one file per measurement into folder OUT",
    runCsv,
    {{"force"}},
}};

const CommandRegistration reportRegistration{{
    "report",
    "report CUSTOMER [CIRCUIT [NAME [INDEX]]] OUT.pdf|OUT.png [--summary] [--force]",
    "the printed report (A4 PDF, or PNG at 150 dpi), one page per measurement",
    runReport,
    {{"summary"}, {"force"}},
}};

}  // namespace
}  // namespace plm::cli
