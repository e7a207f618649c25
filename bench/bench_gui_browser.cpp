// The measurement browser of the main window on the 50 000-measurement tree:
// building it when the tree arrives (aim: under 100 ms) and a click on a
// measurement until its chart is drawn (aim: under 50 ms).
//
// Baselines measured in the same run: both on a tree of ten measurements.
#include <unistd.h>
#include <QApplication>
#include <QTreeView>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "app/browser/measurement_browser.h"
#include "app/document/plm_view_doc.h"
#include "app/main_window/main_frame.h"
#include "app/main_window/view_graph.h"
#include "app/shell/app_context.h"
#include "bench_timing.h"
#include "program_folder.h"
#include "synthetic_tree.h"

namespace {

using plm::bench::best;
using plm::bench::Clock;
using plm::bench::msSince;
using namespace plm;

struct Figures {
    double buildMs;
    double clickMs;
};

// The browser reads the document's tree (as after loading the data file),
// then measurements of the first name of several customers are chosen one
// after the other, each until the chart view has painted it.
Figures measure(const std::filesystem::path& home, const model::CustomerTree& tree) {
    if (!bench::freshProgramFolder(home, tree))
        std::exit(1);
    app::CPLMViewDoc doc(app::appSettings());
    app::CMainFrame frame(doc, app::appSettings());
    frame.resize(1280, 900);
    frame.show();
    QCoreApplication::processEvents();
    if (!doc.LoadData())
        std::exit(1);
    app::MeasurementBrowser& browser = frame.browser();
    const double build = best(5, [&] {
        browser.reload(doc.tree(), doc.selection());
        QCoreApplication::processEvents();
    });
    QTreeView& view = browser.view();
    int next = 0;
    const double click = best(10, [&] {
        next = (next + 7) % tree.customers.count();
        const model::Customer& c = tree.customers.at(next);
        const model::TestCircuit& t = c.circuits.at(0);
        const app::Selection at{c.name, t.name, t.names.at(0).name,
                                next % t.names.at(0).records.count()};
        view.setCurrentIndex(browser.model().indexOf(at));
        frame.chartView().viewport()->grab();
    });
    if (frame.chartView().records().empty())
        std::abort();
    return {build, click};
}

void line(const char* what, double ms, double baseline, double aim) {
    std::printf("%-44s %8.2f ms  (x%.1f of baseline)%s\n", what, ms, ms / baseline,
                ms < aim ? "" : "  OVER THE AIM");
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    auto start = Clock::now();
    const model::CustomerTree tree = bench::makeSyntheticTree();
    std::printf("synthetic tree: 50 x 10 x 10 x 10 = 50000 measurements, built in %.0f ms\n",
                msSince(start));
    const model::CustomerTree small = bench::makeSyntheticTree({1, 1, 1, 10, 1001, 3});
    const std::filesystem::path scratch =
        std::filesystem::temp_directory_path() / ("bench_gui_browser_" + std::to_string(getpid()));
    const Figures base = measure(scratch / "small", small);
    const Figures big = measure(scratch / "large", tree);
    std::filesystem::remove_all(scratch);
    line("browser built, ten measurements (baseline)", base.buildMs, base.buildMs, 100);
    line("browser built, 50 000 measurements", big.buildMs, base.buildMs, 100);
    line("click to drawn chart, ten measurements", base.clickMs, base.clickMs, 50);
    line("click to drawn chart, 50 000 measurements", big.clickMs, base.clickMs, 50);
    std::printf("aim: browser under 100 ms, click to drawn chart under 50 ms\n");
    return 0;
}
