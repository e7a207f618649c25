#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>

#include "analysis/analysis_report.h"
#include "chart/report_page.h"
#include "cli/cmd_batch.h"
#include "cli/command.h"
#include "cli/command_support.h"
#include "cli/filed_record.h"
#include "cli/gui_start.h"
#include "cli/session.h"
#include "model/error_reporter.h"
#include "report/csv_writer.h"
#include "support/log_writer.h"
#include "support/paths.h"
#include "support/text_codec.h"

// plmtool csv / report: the outputs of one filed measurement, the CSV
// test-result file and the printed report page (PDF or PNG).
namespace plm::cli {
namespace {

constexpr int kPngDpi = 150;

struct Target {
    chart::SheetNames names;
    model::MeasurementRecord record;
    model::RecordList records;  // every record of the name, for the trend
    int index = 0;
};

// CUSTOMER CIRCUIT NAME INDEX from the terminal (UTF-8) to the filed record.
// With `wholeName`, every record of the name is kept too (the judgement
// page draws their trend).
Target findTarget(const Invocation& inv, Session& session, bool wholeName = false) {
    const int index = parseIndex(inv.args[3]);
    Target target;
    target.names = {storedText(inv.args[0]), storedText(inv.args[1]), storedText(inv.args[2])};
    target.index = index;
    const uint32_t position = static_cast<uint32_t>(index);
    if (!wholeName) {
        std::optional<model::MeasurementRecord> record =
            scanFiledRecord(session.dataFile, inv.args[0], inv.args[1], inv.args[2], position);
        if (!record)
            throw std::runtime_error("the data file could not be read");
        target.record = std::move(*record);
        return target;
    }
    std::optional<model::RecordList> records =
        scanFiledName(session.dataFile, inv.args[0], inv.args[1], inv.args[2], position);
    if (!records)
        throw std::runtime_error("the data file could not be read");
    target.records = std::move(*records);
    target.record = target.records.at(index);
    return target;
}

int runCsv(const Invocation& inv) {
    if (isBatch(inv))
        return runBatchCsv(inv);
    if (inv.args.size() != 5)
        throw UsageError{"expected CUSTOMER [CIRCUIT [NAME [INDEX]]] OUT"};
    Session& session = openSession();
    support::openAppLog();
    const std::string out = absoluteFsPath(inv.args[4]);
    refuseTakenOutput(inv, out);
    const Target target = findTarget(inv, session);
    StderrReporter reporter;
    const report::CsvNames names{target.names.level1, target.names.level2, target.names.level3};
    const bool ok = report::WriteCsvFile(support::fromFsPath(out),
                                         report::CsvLayout::fromSettings(session.settings), names,
                                         target.record, reporter, inv.hasFlag("force"));
    return ok ? 0 : 1;
}

bool endsWithNoCase(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() &&
           support::lowerMb(s.substr(s.size() - suffix.size())) == suffix;
}

// "page.png" -> "page-2.png": the second page of a PNG report.
std::string secondPagePath(const std::string& fsPath) {
    const std::filesystem::path path(fsPath);
    return (path.parent_path() / (path.stem().string() + "-2" + path.extension().string()))
        .string();
}

int runReport(const Invocation& inv) {
    if ((isBatch(inv) || inv.hasFlag("summary")) && inv.hasFlag("analysis"))
        throw UsageError{"--analysis takes one measurement: CUSTOMER CIRCUIT NAME INDEX OUT"};
    if (isBatch(inv) || inv.hasFlag("summary"))
        return runBatchReport(inv);
    if (inv.args.size() != 5)
        throw UsageError{"expected CUSTOMER [CIRCUIT [NAME [INDEX]]] OUT.pdf|OUT.png"};
    const std::string& out = inv.args[4];
    const bool pdf = endsWithNoCase(out, ".pdf");
    if (!pdf && !endsWithNoCase(out, ".png"))
        throw UsageError{"the output must end in .pdf or .png"};
    Session& session = openSession();
    const std::string path = absoluteFsPath(out);
    const bool force = inv.hasFlag("force");
    refuseTakenOutput(inv, path);
    if (!pdf && inv.hasFlag("analysis"))
        refuseTakenOutput(inv, secondPagePath(path));
    chart::requireA4PrintArea(session.settings);
    const Target target = findTarget(inv, session, inv.hasFlag("analysis"));
    std::optional<analysis::AnalysisReport> judged;
    if (inv.hasFlag("analysis")) {
        judged =
            analysis::analyzeFiled(target.records, target.index,
                                   analysis::loadLimits(analysis::limitsFilePath(),
                                                        analysis::DamagedSections::StopTheirTarget),
                                   target.names.level1, target.names.level2, target.names.level3);
    }
    const std::unique_ptr<QGuiApplication> gui = startGui();
    const analysis::AnalysisReport* second = judged ? &*judged : nullptr;
    if (pdf) {
        chart::writeReportPdf(path, session.settings, target.names, &target.record, second, force);
    } else {
        chart::writeReportPng(path, session.settings, target.names, &target.record, kPngDpi, force);
        if (second)
            chart::writeAnalysisPng(secondPagePath(path), session.settings, target.names,
                                    target.record, *second, kPngDpi, force);
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
    "report CUSTOMER [CIRCUIT [NAME [INDEX]]] OUT.pdf|OUT.png [--summary] [--force] [--analysis]",
    "the printed report (A4 PDF, or PNG at 150 dpi), one page per measurement; --analysis adds "
    "the judgement page of one measurement (second PDF page, or OUT-2.png)",
    runReport,
    {{"summary"}, {"force"}, {"analysis"}},
}};

}  // namespace
}  // namespace plm::cli
