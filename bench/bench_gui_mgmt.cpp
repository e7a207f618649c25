// The data management sheet on the 50 000-measurement tree: opening the
// sheet, switching customers and selecting a measurement (each should stay
// under 100 ms), and the deep copy of the tree that the edit and transfer
// commands make before the sheet opens.
//
// Baselines measured in the same run: the sheet on a one-customer tree, and
// copying every contact sample byte of the tree into one flat buffer (the
// floor any deep copy has to pay).
#include <QApplication>
#include <QTreeView>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/data_sheet/data_management_page.h"
#include "app/data_sheet/mgmt_models.h"
#include "app/data_sheet/mgmt_sheet.h"
#include "app/shell/app_context.h"
#include "bench_timing.h"
#include "support/text_codec.h"
#include "synthetic_tree.h"

namespace {

using plm::bench::best;
using plm::bench::Clock;
using plm::bench::msSince;
using namespace plm;

double openSheet(model::CustomerTree& tree) {
    return best(5, [&] {
        app::MgmtSheetDialog sheet(app::SheetMode::Edit, app::appSettings(), tree, {});
        sheet.show();
        QCoreApplication::processEvents();
    });
}

void line(const char* what, double ms, double baseline) {
    std::printf("%-46s %9.2f ms  (x%.1f of baseline)%s\n", what, ms, ms / baseline,
                ms < 100 ? "" : "  OVER 100 ms");
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    settings::AppSettings& s = app::appSettings();
    s.itemName1 = support::sj("需要家名称");
    s.itemName2 = support::sj("試験回路名称");
    s.itemName3 = support::sj("測定ﾃﾞｰﾀ名称");

    auto start = Clock::now();
    model::CustomerTree tree = bench::makeSyntheticTree();
    std::printf("synthetic tree: 50 x 10 x 10 x 10 = 50000 measurements, built in %.0f ms\n",
                msSince(start));
    // One name holding 10 000 measurements, the worst case for the measurement list.
    model::MeasurementName& big = model::findOrAddMeasurementName(tree, tree.customers.at(49).name,
                                                                  "ZZ", support::sj("大量"));
    bench::SyntheticTreeShape one{1, 1, 1, 10000, 1001, 7};
    big.records = bench::makeSyntheticTree(one).customers.at(0).circuits.at(0).names.at(0).records;

    model::CustomerTree small = bench::makeSyntheticTree({1, 1, 1, 10, 1001, 3});
    const double baseOpen = openSheet(small);
    line("open sheet, one-customer tree (baseline)", baseOpen, baseOpen);
    line("open sheet, 60 000 measurements", openSheet(tree), baseOpen);

    app::MgmtSheetDialog sheet(app::SheetMode::Edit, app::appSettings(), tree, {});
    sheet.show();
    QCoreApplication::processEvents();
    app::CPgMstEdit* page = sheet.page();
    int next = 0;
    const double switchMs = best(10, [&] {
        next = (next + 17) % 49;
        page->selectCustomer(next);
        QCoreApplication::processEvents();
    });
    line("switch customer", switchMs, baseOpen);
    const double selectMs = best(10, [&] {
        next = (next + 3) % 10;
        page->selectRecords({next});
        QCoreApplication::processEvents();
    });
    line("select a measurement", selectMs, baseOpen);

    page->selectCustomer(49);
    page->selectCircuit(tree.customers.at(49).circuits.find("ZZ"));
    QCoreApplication::processEvents();
    const double bigSwitch = best(5, [&] {
        page->selectName(0);
        page->selectName(-1);
        page->selectName(0);
        QCoreApplication::processEvents();
    });
    line("select the name holding 10 000 measurements", bigSwitch, baseOpen);
    const double bigSelect = best(10, [&] {
        next = (next + 997) % 10000;
        page->selectRecords({next});
        QCoreApplication::processEvents();
    });
    line("select one of its 10 000 measurements", bigSelect, baseOpen);

    // The deep copy of the edit and transfer commands.
    size_t bytes = 0;
    for (const auto& c : tree.customers)
        for (const auto& t : c.circuits)
            for (const auto& n : t.names)
                for (const auto& r : n.records)
                    bytes += r.contacts.size();
    std::vector<uint8_t> flat(bytes);
    const double flatMs = best(3, [&] {
        size_t at = 0;
        for (const auto& c : tree.customers)
            for (const auto& t : c.circuits)
                for (const auto& n : t.names)
                    for (const auto& r : n.records) {
                        std::memcpy(flat.data() + at, r.contacts.data(), r.contacts.size());
                        at += r.contacts.size();
                    }
    });
    const double copyMs = best(3, [&] {
        model::CustomerTree copy = tree;
        if (copy.customers.count() != tree.customers.count())
            std::abort();
    });
    std::printf("%-46s %9.2f ms  (%.1f MB of samples)\n", "copy all samples flat (baseline)",
                flatMs, bytes / 1e6);
    std::printf("%-46s %9.2f ms  (x%.1f of baseline)\n", "deep copy of the whole tree", copyMs,
                copyMs / flatMs);
    return 0;
}
