#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QPushButton>
#include <QTableWidget>
#include <filesystem>

#include "analysis/limits_file.h"
#include "app/analysis/analysis_dock.h"
#include "app/analysis/figures_pane.h"
#include "app/analysis/limits_dialog.h"
#include "app/analysis/trend_view.h"
#include "app/document/plm_view_doc.h"
#include "app/main_window/main_frame.h"
#include "app/main_window/view_graph.h"
#include "app_fixture.h"
#include "chart/reference_overlay.h"

namespace plm::test::app {
namespace {

using plm::app::CAnalysisDock;
using plm::app::CMainFrame;
using plm::app::CPLMViewDoc;

// A close of 50 ms at 1 ms on `day`: channel k (0-based) closes at closeAt[k].
model::MeasurementRecord closing(int day, std::vector<int> closeAt) {
    model::MeasurementRecord r = record(day, 9);
    r.contacts.assign(r.contacts.size(), 0);
    for (size_t k = 0; k < closeAt.size(); ++k) {
        for (size_t i = static_cast<size_t>(closeAt[k]); i < r.contacts.size(); ++i)
            r.contacts[i] |= static_cast<uint8_t>(1u << k);
    }
    return r;
}

// Three closes of one breaker that slows down: 20/21/22, 22/23/24, 26/27/30 ms.
class AnalysisDockTest : public AppWindow {
  protected:
    void SetUp() override {
        AppHome::SetUp();
        model::CustomerTree tree;
        model::MeasurementName& n =
            model::findOrAddMeasurementName(tree, "Tokyo Works", "Line 1", "Close");
        n.records.add(closing(1, {21, 22, 23}));
        n.records.add(closing(2, {23, 24, 25}));
        n.records.add(closing(3, {27, 28, 31}));
        ASSERT_TRUE(tree.save(settings().dataFilePath(), plm::app::guiErrorReporter()));
        openWindow();
        dock = frame->findChild<CAnalysisDock*>();
        ASSERT_NE(dock, nullptr);
        show(2);
    }

    void show(int index) { doc->select({"Tokyo Works", "Line 1", "Close", index}); }
    QTableWidget& figures() { return *dock->figures().table(); }
    std::string limitsFile() { return readFile(home.file("LIMITS.INI")); }

    CAnalysisDock* dock = nullptr;
};

TEST_F(AnalysisDockTest, FiguresOfTheShownMeasurementTurnFailedWhenALimitIsBroken) {
    bool inViewMenu = false;
    for (QMenu* menu : frame->menuBar()->findChildren<QMenu*>())
        inViewMenu |= menu->title() == QString::fromUtf8("表示(&V)") &&
                      menu->actions().contains(dock->toggleViewAction());
    EXPECT_TRUE(inViewMenu);
    ASSERT_EQ(figures().rowCount(), 8 + 1);  // the configured 8 channels and the pole spread
    EXPECT_EQ(figures().item(0, 1)->text(), "26.0");
    EXPECT_EQ(figures().item(2, 1)->text(), "30.0");
    EXPECT_EQ(figures().item(3, 1)->text(), "---");
    EXPECT_EQ(figures().item(8, 1)->text(), "4.0");
    EXPECT_EQ(figures().item(0, 5)->text(), QString::fromUtf8("判定なし"));

    plm::app::CLimitsDialog dialog("Tokyo Works", "Line 1", "Close", analysis::LimitsBook());
    dialog.edit(1, 0)->setText("29.5");  // close_max_ms of the test circuit
    dialog.edit(0, 1)->setText("abc");   // close_min_ms of the name: refused
    dialog.OnOK();
    EXPECT_EQ(prompts.texts().back(), sj("close_min_ms の値 \"abc\" が正しくありません"));
    EXPECT_FALSE(std::filesystem::exists(home.file("LIMITS.INI")))
        << "nothing written while a value is refused";
    dialog.edit(0, 1)->setText("20");
    dialog.OnOK();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    dock->refresh();

    EXPECT_EQ(figures().item(0, 5)->text(), QString::fromUtf8("合格"));
    EXPECT_EQ(figures().item(2, 5)->text(), QString::fromUtf8("不合格"));
    EXPECT_EQ(figures().item(2, 5)->foreground().color(),
              plm::app::verdictQColor(analysis::Verdict::Fail));
    EXPECT_EQ(figures().item(2, 6)->text(),
              QString::fromUtf8("動作時間 30.0 ms が上限 29.5 ms を超えています"));
    // The headline counts what broke a limit; the limits read in words with their units.
    EXPECT_EQ(dock->figures().verdictLabel()->text(),
              QString::fromUtf8("判定: 不合格（基準外 1 項目）"));
    EXPECT_EQ(dock->figures().limitsLabel()->text(),
              QString::fromUtf8("判定基準: 投入時間 下限 20.0 ms、投入時間 上限 29.5 ms"));
    // A reason wider than its column wraps in a taller row and stands whole in its tooltip.
    figures().resize(420, 600);
    QApplication::processEvents();
    EXPECT_GT(figures().rowHeight(2), figures().rowHeight(0));
    EXPECT_EQ(figures().item(2, 6)->toolTip(), figures().item(2, 6)->text());
    const analysis::LimitsBook book = analysis::loadLimits(home.file("LIMITS.INI"));
    EXPECT_EQ(book.effective("Tokyo Works", "Line 1", "Close").closeMinUs, 20000);
}

TEST_F(AnalysisDockTest, TrendListsEveryMeasurementAndAnyCanBeTheReference) {
    QTableWidget& table = *dock->trend().table();
    ASSERT_EQ(table.rowCount(), 3);
    EXPECT_EQ(table.item(0, 0)->text(), QString::fromUtf8("2024/03/01 09:00 [基準]"));
    EXPECT_EQ(table.item(2, 2)->text(), "26.0 (+6.0)");
    EXPECT_EQ(table.item(2, 5)->text(), "4.0 (+2.0)");
    ASSERT_TRUE(dock->trend().plot()->data());
    EXPECT_EQ(dock->trend().plot()->data()->x.size(), 3u);
    EXPECT_EQ(dock->trend().plot()->data()->highlight, 2);

    table.setCurrentCell(1, 0);
    dock->trend().referenceButton()->click();
    EXPECT_NE(limitsFile().find("Reference=2024/03/02 09:00:00,2\r\n"), std::string::npos)
        << limitsFile();
    EXPECT_EQ(table.item(1, 0)->text(), QString::fromUtf8("2024/03/02 09:00 [基準]"));
    EXPECT_EQ(table.item(0, 2)->text(), "20.0 (-2.0)");
    EXPECT_EQ(table.item(2, 2)->text(), "26.0 (+4.0)");
}

TEST_F(AnalysisDockTest, ReferenceOverlayAndJudgementPageFollowTheirBoxes) {
    plm::app::CViewGraph& view = frame->chartView();
    EXPECT_FALSE(view.hasOverlay());
    dock->figures().overlayBox()->setChecked(true);
    ASSERT_TRUE(view.hasOverlay());
    const chart::ReferenceOverlay* overlay = view.sheet().chart().overlay();
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->deltas().at(2), sj("Δ+8.0ms"));
    // Any measurement of the name can be laid over instead (double click in the trend).
    emit dock->trend().table()->cellDoubleClicked(1, 0);
    EXPECT_EQ(view.sheet().chart().overlay()->deltas().at(2), sj("Δ+6.0ms"));
    show(0);  // the reference itself: nothing to lay over it
    EXPECT_FALSE(view.hasOverlay());
    show(1);
    EXPECT_TRUE(view.hasOverlay()) << "the box stays on for the next measurement";
    dock->figures().overlayBox()->setChecked(false);
    EXPECT_FALSE(view.hasOverlay());

    const auto pages = [&](const std::string& name) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(home.file(name)));
        view.printTo(printer);
        const std::string pdf = readFile(home.file(name));
        size_t count = 0;
        for (size_t at = pdf.find("/Type /Page\n"); at != std::string::npos;
             at = pdf.find("/Type /Page\n", at + 1))
            ++count;
        return count;
    };
    EXPECT_EQ(pages("one.pdf"), 1u);
    dock->figures().printBox()->setChecked(true);
    EXPECT_EQ(pages("two.pdf"), 2u);
}

TEST_F(AnalysisDockTest, DamagedLimitsFileIsReportedAndLeftAsItIs) {
    writeFile(home.file("LIMITS.INI"), "[Limits]\nCustomer=Tokyo Works\nbogus\n");
    dock->refresh();
    EXPECT_EQ(figures().rowCount(), 0);
    EXPECT_TRUE(dock->figures().verdictLabel()->text().contains(
        QString::fromUtf8("判定基準ファイルが正しくありません")));
    EXPECT_FALSE(dock->figures().limitsButton()->isEnabled());
    EXPECT_EQ(dock->trend().table()->rowCount(), 0);
    EXPECT_EQ(limitsFile(), "[Limits]\nCustomer=Tokyo Works\nbogus\n");
}

}  // namespace
}  // namespace plm::test::app
