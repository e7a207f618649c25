#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QSpinBox>
#include <QTableWidget>

#include "analysis/limits_file.h"
#include "app/assets/due_view.h"
#include "app/assets/fleet_view.h"
#include "app/main_window/view_graph.h"
#include "app/shell/app_context.h"
#include "app_fixture.h"
#include "chart/qt_text.h"

// 点検予定 and 型式別集計 over the document's tree: Tokyo Works / Line 1
// is tested every 12 months, the settings give no default.
namespace plm::test::app {
namespace {

using plm::app::CDueView;
using plm::app::CFleetView;

model::MeasurementRecord onDay(int year, int month, int day, const char* serial) {
    model::MeasurementRecord r = record(1, 9);
    r.testDateTime = dateAt(year, month, day, 9);
    r.cond.mcMaker = "M";
    r.cond.mcType = "VCB";
    r.cond.mcNum = serial;
    return r;
}

class AssetViews : public AppWindow {
  protected:
    void SetUp() override {
        AppHome::SetUp();
        model::CustomerTree tree;
        auto& overdue = model::findOrAddMeasurementName(tree, "Tokyo Works", "Line 1", "Old");
        // Filed out of date order (as a file written elsewhere may hold them):
        // the newest stands at position 1.
        overdue.records.append(onDay(2024, 3, 1, "S1"));
        overdue.records.append(onDay(2024, 12, 20, "S1"));
        overdue.records.append(onDay(2023, 5, 5, "S1"));
        model::findOrAddMeasurementName(tree, "Tokyo Works", "Line 1", "Soon")
            .records.add(onDay(2025, 1, 31, "S2"));
        model::findOrAddMeasurementName(tree, "Tokyo Works", "Line 1", "Later")
            .records.add(onDay(2025, 6, 1, "S3"));
        ASSERT_TRUE(tree.save(settings().dataFilePath(), plm::app::guiErrorReporter()));
        analysis::updateLimits(analysis::limitsFilePath(), [](analysis::LimitsBook& book) {
            book.entry("Tokyo Works", "Line 1", "").intervalMonths = 12;
        });
        openWindow();
    }
};

TEST_F(AssetViews, DueViewColoursItsRowsAndShowsTheNewestMeasurementOnADoubleClick) {
    CDueView view(*doc, plm::app::appSettings(), frame.get(), analysis::CalendarDay{2026, 1, 15});
    ASSERT_TRUE(view.refresh());
    QTableWidget* table = view.table();
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, 3)->text(), "Old");
    EXPECT_EQ(table->item(0, 5)->text(), "2025/12/20");
    EXPECT_EQ(table->item(0, 6)->text(), qsj("超過 26 日"));
    EXPECT_EQ(table->item(1, 3)->text(), "Soon");
    EXPECT_EQ(table->item(1, 6)->text(), qsj("あと 16 日"));
    for (int c = 0; c < table->columnCount(); ++c) {
        EXPECT_EQ(table->item(0, c)->background().color(), CDueView::overdueColor());
        EXPECT_EQ(table->item(1, c)->background().color(), CDueView::dueSoonColor());
    }

    emit table->cellDoubleClicked(0, 2);
    EXPECT_EQ(doc->selection(), (plm::app::Selection{"Tokyo Works", "Line 1", "Old", 1}));
    ASSERT_TRUE(frame->chartView().hasRecord());
    EXPECT_EQ(frame->chartView().records().front().testDateTime, dateAt(2024, 12, 20, 9));

    // Looking further ahead takes in the name due in June.
    view.withinBox()->setValue(200);
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(2, 3)->text(), "Later");

    const std::string csv = home.file("due.csv");
    prompts.queuePath(support::fromFsPath(csv));
    ASSERT_TRUE(view.writeCsv());
    EXPECT_EQ(readFile(csv),
              "customer,circuit,name,last_test,due,days_overdue,interval_months,state\r\n"
              "Tokyo Works,Line 1,Old,2024/12/20,2025/12/20,26,12,期限超過\r\n"
              "Tokyo Works,Line 1,Soon,2025/01/31,2026/01/31,-16,12,期限間近\r\n"
              "Tokyo Works,Line 1,Later,2025/06/01,2026/06/01,-137,12,期限間近\r\n");
    // Printed through the printer as one document.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(home.file("due.pdf")));
    view.printTo(printer);
    EXPECT_EQ(readFile(home.file("due.pdf")).rfind("%PDF", 0), 0u);

    // A file already there is replaced only when the question is answered yes.
    prompts.queuePath(support::fromFsPath(csv));
    prompts.queueNo();
    EXPECT_FALSE(view.writeCsv());
    EXPECT_EQ(prompts.shown().back().byDefault, ui::Answer::No);
}

TEST_F(AssetViews, FleetViewAndBothCommandsOfTheMenu) {
    CFleetView view(*doc, plm::app::appSettings(), frame.get());
    ASSERT_TRUE(view.refresh());
    ASSERT_EQ(view.table()->rowCount(), 1);
    EXPECT_EQ(view.table()->item(0, 0)->text() + " " + view.table()->item(0, 1)->text() + " " +
                  view.table()->item(0, 2)->text() + " " + view.table()->item(0, 3)->text(),
              "M VCB 3 5");

    QMenu* menu = nullptr;
    for (QMenu* m : frame->menuBar()->findChildren<QMenu*>()) {
        if (m->title() == qsj("測定データ(&M)"))
            menu = m;
    }
    ASSERT_NE(menu, nullptr);
    std::vector<QString> texts;
    for (QAction* a : menu->actions()) {
        if (!a->isSeparator())
            texts.push_back(a->text());
    }
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], qsj("型式別集計(&K)..."));
    EXPECT_EQ(texts.back(), qsj("点検予定(&Y)..."));
    frame->findChild<QAction*>("dueView")->trigger();
    CDueView* opened = frame->findChild<CDueView*>();
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(opened->isVisible());
    opened->close();
}

}  // namespace
}  // namespace plm::test::app
