#include "cli/cmd_batch.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "chart/report_batch.h"
#include "chart/report_page.h"
#include "cli/command_support.h"
#include "cli/gui_start.h"
#include "cli/session.h"
#include "model/customer_tree.h"
#include "model/data_file_scan.h"
#include "report/batch_csv.h"
#include "report/batch_selection.h"
#include "support/cx_exception.h"
#include "support/log_writer.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::cli {
namespace {

// The names (and index) before OUT, from the terminal's UTF-8.
report::BatchScope scopeOf(const Invocation& inv) {
    report::BatchScope scope;
    const size_t named = inv.args.size() - 1;
    for (size_t i = 0; i < named && i < 3; ++i)
        scope.names.push_back(storedText(inv.args[i]));
    if (named == 4)
        scope.index = parseIndex(inv.args[3]);
    return scope;
}

// The customer the scope names, with the records of the names it covers:
// the data file is scanned, so a batch for one customer keeps no other
// customer's measurements, and a damaged file is reported and left in place.
void scanScope(const report::BatchScope& scope, const Session& session, model::CustomerTree& tree) {
    model::ScanSelection selection;
    selection.keepRecords = true;
    selection.customer = scope.names.at(0);
    if (scope.names.size() > 1)
        selection.circuit = scope.names[1];
    if (scope.names.size() > 2)
        selection.name = scope.names[2];
    model::DataFileOutline outline;
    outline.devType = session.settings.deviceTypeIndex;
    StderrReporter reporter;
    if (!model::scanDataFile(session.dataFile, selection, outline, reporter))
        throw std::runtime_error("the data file could not be read");
    tree.lineSettings = outline.lineSettings;
    if (model::ScannedCustomer* customer = outline.customers.get(scope.names[0]))
        tree.customers.insertNode(std::move(*customer).toCustomer());
}

std::vector<report::BatchItem> selectItems(const Invocation& inv, const Session& session,
                                           model::CustomerTree& tree) {
    const report::BatchScope scope = scopeOf(inv);
    scanScope(scope, session, tree);
    std::vector<report::BatchItem> items = report::selectBatch(tree, scope);
    if (items.empty())
        throw std::runtime_error("no measurements are filed there");
    return items;
}

// "12/90 customer / circuit / name No.3" on stderr before each measurement;
// false once the user has interrupted.
report::BatchProgress terminalProgress() {
    return [](int done, int total, const report::BatchItem& next) {
        if (interruptRequested())
            return false;
        printError(support::format("%d/%d %s / %s / %s No.%s", done + 1, total, next.level1.c_str(),
                                   next.level2.c_str(), next.level3.c_str(),
                                   next.record->dataNoText().c_str()));
        return true;
    };
}

void checkArgumentCount(const Invocation& inv, const char* expected) {
    if (inv.args.size() < 2 || inv.args.size() > 5)
        throw UsageError{expected};
}

}  // namespace

bool isBatch(const Invocation& inv) {
    return inv.args.size() >= 2 && inv.args.size() <= 4;
}

int runBatchCsv(const Invocation& inv) {
    checkArgumentCount(inv, "expected CUSTOMER [CIRCUIT [NAME [INDEX]]] OUT");
    Session& session = openSession();
    support::openAppLog();
    model::CustomerTree tree;
    const std::vector<report::BatchItem> items = selectItems(inv, session, tree);
    const std::string folder = support::fromFsPath(absoluteFsPath(inv.args.back()));
    const bool force = inv.hasFlag("force");
    if (!force) {
        const std::vector<std::string> existing =
            report::existingBatchFiles(folder, report::batchCsvFileNames(items));
        for (const std::string& path : existing)
            printError("exists: " + path);
        if (!existing.empty()) {
            std::fprintf(stderr,
                         "plmtool csv: %zu of the files exist already; --force replaces them\n",
                         existing.size());
            return 1;
        }
    }
    InterruptGuard guard(true);
    const report::BatchCsvResult result =
        report::writeBatchCsv(folder, report::CsvLayout::fromSettings(session.settings), items,
                              force, terminalProgress(), printLine);
    if (result.cancelled) {
        std::fprintf(stderr, "plmtool csv: cancelled, %zu of %zu files written\n",
                     result.written.size(), items.size());
        return 1;
    }
    return 0;
}

int runBatchReport(const Invocation& inv) {
    checkArgumentCount(inv, "expected CUSTOMER [CIRCUIT [NAME [INDEX]]] OUT.pdf");
    const std::string& out = inv.args.back();
    const std::string suffix = out.size() >= 4 ? out.substr(out.size() - 4) : out;
    if (support::lowerMb(suffix) != ".pdf")
        throw UsageError{"a report of several pages is written as .pdf"};
    Session& session = openSession();
    model::CustomerTree tree;
    const std::vector<report::BatchItem> items = selectItems(inv, session, tree);
    const std::string path = absoluteFsPath(out);
    const bool force = inv.hasFlag("force");
    // Refused before any page is painted; the writer checks again when it
    // puts the file in place.
    refuseTakenOutput(inv, path);
    chart::requireA4PrintArea(session.settings);
    // The summary judges each measurement by the limits file; a damaged
    // section stops the run only when one of the measurements needs it.
    std::optional<analysis::LimitsBook> limits;
    if (inv.hasFlag("summary"))
        limits = analysis::loadLimits(analysis::limitsFilePath(),
                                      analysis::DamagedSections::StopTheirTarget);
    const std::unique_ptr<QGuiApplication> gui = startGui();
    InterruptGuard guard(true);
    if (!chart::writeBatchReportPdf(path, session.settings, items, limits ? &*limits : nullptr,
                                    force, terminalProgress())) {
        std::fprintf(stderr, "plmtool report: cancelled, no file written\n");
        return 1;
    }
    printUtf8(path);
    return 0;
}

}  // namespace plm::cli
