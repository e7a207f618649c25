#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QPushButton>
#include <QTableWidget>
#include <QWheelEvent>
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

model::MeasurementRecord ofBreaker(model::MeasurementRecord r, const std::string& serial) {
    r.cond.mcMaker = "Meiden";
    r.cond.mcType = "VK-10";
    r.cond.mcNum = serial;
    return r;
}

// Three closes of one breaker (Meiden VK-10, S-1) that slows down: 20/21/22,
// 22/23/24, 26/27/30 ms. It was then moved to Osaka; another breaker of its
// model stands there too, and Tokyo has a measurement without a serial.
class AnalysisDockTest : public AppWindow {
  protected:
    void SetUp() override {
        AppHome::SetUp();
        model::CustomerTree tree;
        model::MeasurementName& n =
            model::findOrAddMeasurementName(tree, "Tokyo Works", "Line 1", "Close");
        n.records.add(ofBreaker(closing(1, {21, 22, 23}), "S-1"));
        n.records.add(ofBreaker(closing(2, {23, 24, 25}), "S-1"));
        n.records.add(ofBreaker(closing(3, {27, 28, 31}), "S-1"));
        model::MeasurementName& osaka =
            model::findOrAddMeasurementName(tree, "Osaka Works", "Line 9", "Close");
        osaka.records.add(ofBreaker(closing(4, {28, 29, 33}), "S-1"));
        osaka.records.add(ofBreaker(closing(5, {21, 21, 21}), "S-2"));
        model::findOrAddMeasurementName(tree, "Tokyo Works", "Line 1", "Unknown")
            .records.add(closing(6, {21, 22, 23}));
        ASSERT_TRUE(tree.save(settings().dataFilePath(), plm::app::guiErrorReporter()));
        openWindow();
        dock = frame->findChild<CAnalysisDock*>();
        ASSERT_NE(dock, nullptr);
        show(2);
    }

    void show(int index, const std::string& customer = "Tokyo Works",
              const std::string& circuit = "Line 1", const std::string& name = "Close") {
        doc->select({customer, circuit, name, index});
    }
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
              QString::fromUtf8("判定基準: 投入時間 下限 20.0 ms (測定データ名称)、"
                                "投入時間 上限 29.5 ms (試験回路)"));
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

TEST_F(AnalysisDockTest, TheModelLevelOfTheDialogJudgesEveryCircuitOfTheModel) {
    using plm::app::CLimitsDialog;
    const analysis::BreakerModel vk10{"Meiden", "VK-10"};
    {
        CLimitsDialog dialog("Tokyo Works", "Line 1", "Close", analysis::LimitsBook(), nullptr,
                             vk10);
        EXPECT_NE(dialog.findChild<QLineEdit*>("close_max_ms_model"), nullptr);
        dialog.edit(0, CLimitsDialog::kModel)->setText("30");    // close_min_ms of the model
        dialog.edit(1, CLimitsDialog::kCircuit)->setText("25");  // close_max_ms of the circuit
        dialog.OnOK();
        EXPECT_EQ(prompts.texts().back(), sj("close_min_ms が close_max_ms より大きくなっています"))
            << "the levels together can never be met";
        EXPECT_FALSE(std::filesystem::exists(home.file("LIMITS.INI")));
        dialog.edit(0, CLimitsDialog::kModel)->clear();
        dialog.edit(1, CLimitsDialog::kCircuit)->clear();
        dialog.edit(1, CLimitsDialog::kModel)->setText("29.5");
        dialog.OnOK();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_NE(limitsFile().find("[Limits]\r\nMaker=Meiden\r\nModel=VK-10\r\nclose_max_ms=29.5\r\n"),
              std::string::npos)
        << limitsFile();
    dock->refresh();
    EXPECT_EQ(figures().item(2, 5)->text(), QString::fromUtf8("不合格"));
    EXPECT_EQ(dock->figures().limitsLabel()->text(),
              QString::fromUtf8("判定基準: 投入時間 上限 29.5 ms (型式)"));
    // Osaka never had limits of its own; its breaker of the model is judged too.
    show(0, "Osaka Works", "Line 9");
    EXPECT_EQ(figures().item(2, 5)->text(), QString::fromUtf8("不合格"));
    EXPECT_EQ(figures().item(0, 5)->text(), QString::fromUtf8("合格"));

    // Opened again, the dialog shows the model's value; without a model in
    // the test conditions its column cannot be typed in.
    CLimitsDialog again("Osaka Works", "Line 9", "Close",
                        analysis::loadLimits(home.file("LIMITS.INI")), nullptr, vk10);
    EXPECT_EQ(again.edit(1, CLimitsDialog::kModel)->text(), "29.5");
    CLimitsDialog none("Tokyo Works", "Line 1", "Unknown", analysis::LimitsBook());
    EXPECT_FALSE(none.edit(1, CLimitsDialog::kModel)->isEnabled());
    EXPECT_TRUE(none.edit(1, CLimitsDialog::kCircuit)->isEnabled());
    const std::string before = limitsFile();
    none.edit(0, CLimitsDialog::kName)->setText("10");
    none.OnOK();
    EXPECT_EQ(limitsFile().find("Maker"), before.find("Maker")) << "no model entry added";
}

TEST_F(AnalysisDockTest, TheTrendTabShowsTheBreakersHistoryWhereverItStood) {
    plm::app::CTrendView& trend = dock->trend();
    QTableWidget& table = *trend.table();
    ASSERT_EQ(trend.scopeBox()->count(), 2);
    EXPECT_EQ(trend.scopeBox()->itemText(0), QString::fromUtf8("この測定名"));
    EXPECT_EQ(trend.scopeBox()->itemText(1), QString::fromUtf8("この遮断器（製造番号）"));
    ASSERT_EQ(table.rowCount(), 3);

    trend.scopeBox()->setCurrentIndex(plm::app::CTrendView::ScopeBreaker);
    ASSERT_EQ(table.rowCount(), 4) << "three in Tokyo, one in Osaka; S-2 is another breaker";
    const int place = table.columnCount() - 1;
    EXPECT_EQ(table.horizontalHeaderItem(place)->text(), QString::fromUtf8("設置場所"));
    EXPECT_EQ(table.item(0, place)->text(), "Tokyo Works / Line 1 / Close");
    EXPECT_EQ(table.item(3, place)->text(), "Osaka Works / Line 9 / Close");
    EXPECT_EQ(table.item(3, 2)->text(), "27.0 (+7.0)");
    ASSERT_TRUE(trend.plot()->data());
    EXPECT_EQ(trend.plot()->data()->x.size(), 4u);
    EXPECT_EQ(trend.plot()->data()->highlight, 2) << "the shown measurement";
    EXPECT_FALSE(trend.referenceButton()->isEnabled());
    // A row filed elsewhere cannot be laid over the shown name's chart.
    dock->figures().overlayBox()->setChecked(true);
    emit table.cellDoubleClicked(3, 0);
    EXPECT_EQ(frame->chartView().sheet().chart().overlay()->deltas().at(2), sj("Δ+8.0ms"));

    // The choice stays while other measurements are shown.
    show(0, "Osaka Works", "Line 9");
    EXPECT_EQ(table.rowCount(), 4);
    EXPECT_EQ(trend.plot()->data()->highlight, 3);
    show(0, "Tokyo Works", "Line 1", "Unknown");
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_TRUE(trend.findChildren<QLabel*>().front()->text().contains(
        QString::fromUtf8("製造番号がないため")));
    trend.scopeBox()->setCurrentIndex(plm::app::CTrendView::ScopeName);
    EXPECT_EQ(table.rowCount(), 1);
}

// Ctrl+wheel zooms the trend's date axis about the pointer and back out to
// the whole span; the plain wheel moves a zoomed view and leaves a whole one
// to the pane around it.
TEST(TrendPlotWidget, WheelZoomsAndMovesTheDateAxis) {
    ensureApplication();
    chart::TrendPlotData data;
    data.channels = {1};
    data.series.resize(1);
    for (double day : {0.0, 400.0, 800.0, 1095.0, 1097.0, 1099.0, 1100.0, 1101.0}) {
        data.x.push_back(day / 1101.0);
        data.dates.push_back("2024/01/01");
        data.series[0].push_back(40.0);
        data.spread.push_back(0.5);
    }
    plm::app::CTrendPlotWidget plot;
    plot.resize(700, 400);
    plot.setData(data);
    EXPECT_FALSE(plot.view().whole()) << "the crowded newest start readable";
    auto wheel = [&](int delta, Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(QPointF(350, 200), QPointF(350, 200), QPoint(), QPoint(0, delta),
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&plot, &event);
        return event.isAccepted();
    };
    for (int i = 0; i < 40; ++i)
        wheel(-120, Qt::ControlModifier);
    EXPECT_TRUE(plot.view().whole());
    EXPECT_FALSE(wheel(120, Qt::NoModifier)) << "a whole view passes the wheel on";
    ASSERT_TRUE(wheel(120, Qt::ControlModifier));
    const chart::DateView zoomed = plot.view();
    EXPECT_NEAR(zoomed.to - zoomed.from, 0.8, 1e-9);
    ASSERT_TRUE(wheel(120, Qt::NoModifier));
    EXPECT_LT(plot.view().from, zoomed.from) << "up shows earlier dates";
    EXPECT_NEAR(plot.view().to - plot.view().from, 0.8, 1e-9);
}

}  // namespace
}  // namespace plm::test::app
