// The longest stall of the GUI thread while the main window loads a data file
// of 200 000 measurements and while it saves it after a change (aim: at most
// 50 ms each): a timer of the GUI thread records the largest gap between its
// ticks. The job itself runs on a worker thread; what stalls is the GUI
// thread's share (taking the tree in, the views hearing of it).
//
// Baseline measured in the same run: the same on a file of one measurement.
//
//   bench_app_stall   (runs on Qt's offscreen platform unless a display is chosen)
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/document/plm_view_doc.h"
#include "app/main_window/main_frame.h"
#include "app/shell/app_context.h"
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

// The largest gap between the ticks of a 5 ms timer while `job` runs.
template <class Job>
double longestGap(Job&& job) {
    QTimer timer;
    QElapsedTimer since;
    qint64 longest = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        longest = std::max(longest, since.nsecsElapsed());
        since.restart();
    });
    QCoreApplication::processEvents();
    since.start();
    timer.start(5);
    job();
    longest = std::max(longest, since.nsecsElapsed());  // the gap up to the job's end
    return static_cast<double>(longest) / 1e6;
}

int recordsIn(const model::CustomerTree& tree) {
    int records = 0;
    for (const model::Customer& customer : tree.customers)
        for (const model::TestCircuit& circuit : customer.circuits)
            for (const model::MeasurementName& name : circuit.names)
                records += name.records.count();
    return records;
}

struct Figures {
    double loadMs = 0, loadStallMs = 0, saveMs = 0, saveStallMs = 0;
};

Figures runOnce(const fs::path& home, const model::CustomerTree& tree) {
    static plm::test::ScriptedPrompter quiet;
    ui::ScopedPrompter scoped(quiet);
    if (!bench::freshProgramFolder(home, tree))
        std::exit(1);

    Figures f;
    app::CPLMViewDoc doc(app::appSettings());
    app::CMainFrame frame(doc, app::appSettings());
    frame.resize(1280, 900);
    frame.show();
    auto start = Clock::now();
    f.loadStallMs = longestGap([&] {
        if (!doc.LoadData())
            std::exit(1);
    });
    f.loadMs = msSince(start);
    if (recordsIn(doc.tree()) != recordsIn(tree))
        std::exit(1);

    model::CustomerTree changed = doc.workingCopy();
    changed.customers.findOrAdd("Added");
    start = Clock::now();
    f.saveStallMs = longestGap([&] {
        if (!doc.commitRestored(std::move(changed)))
            std::exit(1);
    });
    f.saveMs = msSince(start);
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication qapp(argc, argv);
    const fs::path scratch =
        fs::temp_directory_path() / ("bench_app_stall_" + std::to_string(getpid()));

    const model::CustomerTree small = bench::makeSyntheticTree({1, 1, 1, 1, 101, 7});
    // 50 customers x 10 circuits x 10 names x 40 records of 101 samples.
    const model::CustomerTree large = bench::makeSyntheticTree({50, 10, 10, 40, 101, 1});

    const Figures one = runOnce(scratch / "one", small);
    const Figures big = runOnce(scratch / "large", large);
    fs::remove_all(scratch);

    std::printf("%-36s %12s %12s %8s\n", "", "1 record", "200000 rec", "ratio");
    auto row = [](const char* what, double o, double b) {
        std::printf("%-36s %9.1f ms %9.1f ms %7.1fx\n", what, o, b, b / o);
    };
    row("load: whole job", one.loadMs, big.loadMs);
    row("load: longest GUI stall (aim 50 ms)", one.loadStallMs, big.loadStallMs);
    row("save: whole job", one.saveMs, big.saveMs);
    row("save: longest GUI stall (aim 50 ms)", one.saveStallMs, big.saveStallMs);
    return 0;
}
