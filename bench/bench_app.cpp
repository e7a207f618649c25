// The desktop program on a large data file against an empty one, both in the
// same run: start-up until the main window has painted, choosing a
// measurement until its chart has painted, committing an edit (working copy
// and immediate save) and closing the window (placement and data file saved).
//
//   bench_app   (runs on Qt's offscreen platform unless a display is chosen)
#include <QApplication>
#include <QEvent>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/data_sheet/data_sheet.h"
#include "app/document/plm_view_doc.h"
#include "app/main_window/main_frame.h"
#include "app/main_window/view_graph.h"
#include "app/shell/app_context.h"
#include "app/startup/plm_view_app.h"
#include "bench_timing.h"
#include "common/gui/scripted_prompter.h"
#include "program_folder.h"
#include "support/paths.h"
#include "synthetic_tree.h"
#include "ui/prompter.h"

namespace {

using plm::bench::Clock;
using plm::bench::msSince;
namespace fs = std::filesystem;
using namespace plm;

// Counts the paints of one widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Runs the event loop until the widget has painted once more than `before`.
bool waitForPaint(const PaintCounter& counter, int before) {
    const auto start = Clock::now();
    while (counter.paints <= before) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (msSince(start) > 60000)
            return false;
    }
    return true;
}

// Commits the working copy unchanged with the first measurement selected.
struct CommitSheet : app::DataSheet {
    bool run(app::SheetMode, model::CustomerTree&, app::Selection&, QWidget*) override {
        return true;
    }
    bool display(const model::CustomerTree&, app::Selection&, QWidget*) override { return true; }
};

struct Figures {
    double startup = 0, chart = 0, commit = 0, close = 0;
};

Figures runOnce(const fs::path& home, const model::CustomerTree& tree) {
    static plm::test::ScriptedPrompter quiet;
    ui::ScopedPrompter scoped(quiet);
    if (!bench::freshProgramFolder(home, tree))
        std::exit(1);
    app::appSettings() = settings::AppSettings{};

    Figures f;
    PaintCounter painted;
    auto start = Clock::now();
    auto application = std::make_unique<app::PlmViewApp>();
    if (application->InitInstance({}) != app::PlmViewApp::Start::Running)
        std::exit(1);
    app::CMainFrame* frame = application->frame();
    frame->chartView().viewport()->installEventFilter(&painted);
    waitForPaint(painted, -1);
    f.startup = msSince(start);

    app::CPLMViewDoc& doc = *application->document();
    app::Selection chosen;
    if (!tree.customers.empty()) {
        const model::Customer& c = tree.customers.at(tree.customers.count() / 2);
        const model::TestCircuit& t = c.circuits.at(0);
        chosen = {c.name, t.name, t.names.at(0).name, 0};
    }
    const int before = painted.paints;
    start = Clock::now();
    doc.select(chosen);
    waitForPaint(painted, before);
    f.chart = msSince(start);

    app::setDataSheetFactory([] { return std::make_unique<CommitSheet>(); });
    start = Clock::now();
    frame->OnEditData();
    f.commit = msSince(start);

    start = Clock::now();
    frame->close();
    application->ExitInstance();
    f.close = msSince(start);
    application.reset();
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication qapp(argc, argv);
    const fs::path scratch = fs::temp_directory_path() / ("bench_app_" + std::to_string(getpid()));

    model::CustomerTree small;
    model::findOrAddMeasurementName(small, "A", "B", "C")
        .records.append(bench::makeSyntheticTree({1, 1, 1, 1, 1001, 7})
                            .customers.at(0)
                            .circuits.at(0)
                            .names.at(0)
                            .records.at(0));
    const model::CustomerTree large = bench::makeSyntheticTree();  // 50 000 records of 1001 samples

    const Figures empty = runOnce(scratch / "empty", model::CustomerTree{});
    const Figures one = runOnce(scratch / "one", small);
    const Figures big = runOnce(scratch / "large", large);
    fs::remove_all(scratch);

    std::printf("%-34s %12s %12s %12s %8s\n", "", "empty file", "1 record", "50000 rec", "ratio");
    auto row = [](const char* what, double e, double o, double b, double base) {
        std::printf("%-34s %10.1f ms %10.1f ms %10.1f ms %7.1fx\n", what, e, o, b, b / base);
    };
    row("start-up to first painted window", empty.startup, one.startup, big.startup, empty.startup);
    row("choose measurement to chart", empty.chart, one.chart, big.chart, one.chart);
    row("edit OK: copy and save at once", empty.commit, one.commit, big.commit, one.commit);
    row("close: placement and data saved", empty.close, one.close, big.close, one.close);
    return 0;
}
