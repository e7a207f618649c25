// Undo and redo in the data management sheet of deleting a customer that
// holds 10 000 measurements: each should stay under 100 ms, since the
// deleted subtree is kept by move and given back by move.
//
// Baseline measured in the same run: the delete itself, as the sheet's
// delete button makes it. For comparison, what keeping the subtree by copy
// would cost: a copy of every measurement of the customer.
#include <QApplication>
#include <QPushButton>
#include <QUndoStack>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/data_sheet/data_management_page.h"
#include "app/data_sheet/mgmt_sheet.h"
#include "app/shell/app_context.h"
#include "bench_timing.h"
#include "common/gui/scripted_prompter.h"
#include "model/tree_change.h"
#include "support/text_codec.h"
#include "synthetic_tree.h"
#include "ui/prompter.h"

namespace {

using plm::bench::best;
using plm::bench::Clock;
using plm::bench::msSince;
using namespace plm;

void line(const char* what, double ms, double baseline, bool limited) {
    std::printf("%-52s %9.3f ms  (x%.3f of baseline)%s\n", what, ms, ms / baseline,
                !limited || ms < 100 ? "" : "  OVER 100 ms");
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    test::ScriptedPrompter prompts;
    ui::ScopedPrompter scoped(prompts);
    settings::AppSettings& s = app::appSettings();
    s.itemName1 = support::sj("需要家名称");
    s.itemName2 = support::sj("試験回路名称");
    s.itemName3 = support::sj("測定ﾃﾞｰﾀ名称");

    const auto start = Clock::now();
    model::CustomerTree tree = bench::makeSyntheticTree({3, 10, 10, 100, 1001, 1});
    std::printf(
        "synthetic tree: 3 customers x 10 x 10 x 100 = 30000 measurements, built in "
        "%.0f ms\n",
        msSince(start));

    app::MgmtSheetDialog sheet(app::SheetMode::Edit, app::appSettings(), tree, {});
    sheet.show();
    QCoreApplication::processEvents();
    app::CPgMstEdit* page = sheet.page();
    QUndoStack* stack = page->undoStack();

    page->selectCustomer(0);
    prompts.queueYes();
    auto started = Clock::now();
    page->button(app::CPgMstEdit::DeleteCustomer)->click();
    QCoreApplication::processEvents();
    const double deleteMs = msSince(started);
    if (stack->count() != 1 || tree.customers.count() != 2) {
        std::fprintf(stderr, "the delete did not happen\n");
        return 1;
    }
    line("delete the customer in the sheet (baseline)", deleteMs, deleteMs, false);

    double undoMs = 1e300;
    double redoMs = 1e300;
    const auto timed = [](auto&& step) {
        const auto at = Clock::now();
        step();
        QCoreApplication::processEvents();
        return msSince(at);
    };
    for (int round = 0; round < 5; ++round) {
        undoMs = std::min(undoMs, timed([&] { stack->undo(); }));
        redoMs = std::min(redoMs, timed([&] { stack->redo(); }));
    }
    line("undo: the customer and its 10 000 measurements back", undoMs, deleteMs, true);
    line("redo: deleted again", redoMs, deleteMs, true);

    stack->undo();
    if (tree.customers.count() != 3) {
        std::fprintf(stderr, "the undo did not give the customer back\n");
        return 1;
    }
    // The tree change alone, without the sheet showing its lists again.
    model::RemoveNameChange change(model::TreeLevel::Customer, {}, 0);
    double applyMs = 1e300;
    double revertMs = 1e300;
    for (int round = 0; round < 5; ++round) {
        applyMs = std::min(applyMs, best(1, [&] { change.apply(tree); }));
        revertMs = std::min(revertMs, best(1, [&] { change.revert(tree); }));
    }
    line("the tree change alone: delete", applyMs, deleteMs, false);
    line("the tree change alone: give back", revertMs, deleteMs, false);

    const model::Customer& customer = tree.customers.at(0);
    const double copyMs = best(3, [&] {
        std::vector<model::MeasurementRecord> copy;
        copy.reserve(10000);
        for (const model::TestCircuit& circuit : customer.circuits)
            for (const model::MeasurementName& name : circuit.names)
                for (const model::MeasurementRecord& r : name.records)
                    copy.push_back(r);
    });
    line("for comparison: copying the customer's measurements", copyMs, deleteMs, false);
    return undoMs < 100 && redoMs < 100 ? 0 : 2;
}
