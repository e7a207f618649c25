#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeView>
#include <QWheelEvent>

#include "app/browser/measurement_browser.h"
#include "app/document/plm_view_doc.h"
#include "app/main_window/main_frame.h"
#include "app/main_window/view_graph.h"
#include "app_fixture.h"
#include "chart/qt_text.h"
#include "model/customer_exchange.h"

namespace plm::test::app {
namespace {

using plm::app::CMainFrame;
using plm::app::CPLMViewDoc;
using plm::app::Selection;
using plm::app::SheetMode;

void send(QObject* to, QEvent& event) {
    QApplication::sendEvent(to, &event);
}

void mouse(QWidget* to, QEvent::Type type, const QPointF& at, Qt::MouseButton button,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent event(type, at, to->mapToGlobal(at), button, held, modifiers);
    send(to, event);
}

void click(QWidget* to, const QPointF& at) {
    mouse(to, QEvent::MouseButtonPress, at, Qt::LeftButton);
    mouse(to, QEvent::MouseButtonRelease, at, Qt::LeftButton);
}

void key(QWidget* to, int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, code, modifiers);
    send(to, event);
}

// A main window, shown, on a data file that holds smallTree().
class BrowserTest : public AppWindow {
  protected:
    void SetUp() override {
        AppHome::SetUp();
        ASSERT_TRUE(smallTree().save(settings().dataFilePath(), plm::app::guiErrorReporter()));
        start();
    }

    void start() {
        openWindow();
        frame->resize(1200, 900);
        frame->show();
    }

    QTreeView& tree() { return frame->browser().view(); }
    void clickRow(const Selection& at) {
        const QModelIndex index = frame->browser().model().indexOf(at);
        ASSERT_TRUE(index.isValid());
        tree().scrollTo(index);
        click(tree().viewport(), QRectF(tree().visualRect(index)).center());
    }
    // dataNo of the shown measurement, 0 for none.
    int shownNo() {
        const auto& records = frame->chartView().records();
        return records.empty() ? 0 : records.front().dataNo;
    }

    ScriptedSheet::Installed sheet;
};

TEST_F(BrowserTest, ClickAndArrowKeysShowMeasurementsThroughRefresh) {
    const auto& model = frame->browser().model();
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.index(1, 0).data().toString(), "Tokyo Works (2)");
    EXPECT_EQ(model.index(0, 0).data().toString(), "Osaka (0)");
    EXPECT_EQ(shownNo(), 0);

    clickRow({"Tokyo Works", "Line 1", "Close", 1});
    EXPECT_EQ(shownNo(), 2);
    EXPECT_EQ(frame->chartView().names().level3, "Close");
    EXPECT_EQ(doc->selection(), (Selection{"Tokyo Works", "Line 1", "Close", 1}));
    EXPECT_EQ(settings().selCustomer, "Tokyo Works");
    EXPECT_EQ(settings().selCableName, "Line 1");
    EXPECT_EQ(settings().shownIndex, 1);
    EXPECT_TRUE(frame->action(plm::app::ID_TEXT_OUT)->isEnabled());

    key(&tree(), Qt::Key_Up);
    EXPECT_EQ(shownNo(), 1);
    EXPECT_EQ(settings().shownIndex, 0);
    // Stepping onto a name row leaves the chart as it is.
    key(&tree(), Qt::Key_Up);
    EXPECT_EQ(shownNo(), 1);
    key(&tree(), Qt::Key_Down);
    key(&tree(), Qt::Key_Down);
    EXPECT_EQ(shownNo(), 2);
}

TEST_F(BrowserTest, FollowsEditsAndImportsAndHighlightsWhatIsShown) {
    ScriptedSheet::action() = [](SheetMode, model::CustomerTree& t, Selection& sel) {
        model::findOrAddMeasurementName(t, "Nagoya", "Line 9", "Trip").records.add(record(5, 8));
        sel = {"Nagoya", "Line 9", "Trip", 0};
        return true;
    };
    frame->OnEditData();
    const auto& model = frame->browser().model();
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.index(0, 0).data().toString(), "Nagoya (1)");
    EXPECT_EQ(shownNo(), 5);
    const QModelIndex current = tree().currentIndex();
    EXPECT_EQ(model.selectionAt(current), (Selection{"Nagoya", "Line 9", "Trip", 0}));
    EXPECT_EQ(model.index(current.row(), 1, current.parent()).data().toString(),
              "2024/03/05 08:00");

    // An imported customer appears at once.
    model::CustomerTree foreign;
    model::findOrAddMeasurementName(foreign, "Sendai", "L", "N").records.add(record(9, 9));
    const std::string exported = support::fromFsPath(home.file("sendai.qbx"));
    ASSERT_TRUE(
        model::exportCustomer(foreign.customers.at(0), exported, plm::app::guiErrorReporter()));
    prompts.queuePath(exported);
    frame->OnImport();
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.index(2, 0).data().toString(), "Sendai (1)");

    // The display sheet choosing another measurement moves the highlight too.
    ScriptedSheet::action() = [](SheetMode, model::CustomerTree&, Selection& sel) {
        sel = {"Tokyo Works", "Line 1", "Close", 0};
        return true;
    };
    frame->OnDisplayData();
    EXPECT_EQ(shownNo(), 1);
    EXPECT_EQ(model.selectionAt(tree().currentIndex()),
              (Selection{"Tokyo Works", "Line 1", "Close", 0}));
}

// The next start shows the measurement shown last by its start and kind,
// wherever it is filed now; one that is gone gives the nearest and a note.
TEST_F(BrowserTest, StartsWithTheLastShownMeasurementWhereverItIsFiledNow) {
    clickRow({"Tokyo Works", "Line 1", "Close", 1});
    EXPECT_EQ(settings().shownStart, "2024/03/02 10:00:00");
    EXPECT_EQ(settings().shownKind, 0);
    const QString gone =
        qsj("表示していた測定データ（2024/03/04 10:00 "
            "投入）はなくなりました。近い日時の測定データを表示します");
    struct Case {
        const char* name;
        int index;
        const char* start;  // "" as written by an earlier version: the place alone
        int kind;
        int shown;  // dataNo on screen, 0 for none
        int row;
    };
    const std::vector<Case> cases = {
        {"Close", 1, "2024/03/02 10:00:00", 0, 2, 1},
        {"Close", 0, "2024/03/02 10:00:00", 0, 2, 1},  // older ones filed since
        {"Close", 0, "2024/03/02 10:00:00", 1, 2, 1},  // another kind: gone, the nearest
        {"Close", 1, "2024/03/04 10:00:00", 0, 2, 1},  // gone: the nearest
        {"Close", 1, "", -1, 2, 1},
        {"Close", 2, "", -1, 0, -1},                   // removed since
        {"Open", 0, "2024/03/02 10:00:00", 0, 0, -1},  // name gone
    };
    for (const Case& c : cases) {
        settings().shownDataName = c.name;
        settings().shownIndex = c.index;
        settings().shownStart = c.start;
        settings().shownKind = c.kind;
        start();
        EXPECT_EQ(shownNo(), c.shown) << c.name << " " << c.index << " " << c.start;
        if (c.row >= 0) {
            EXPECT_EQ(tree().currentIndex().row(), c.row) << c.index << " " << c.start;
        }
    }
    settings().shownDataName = "Close";
    settings().shownIndex = 1;
    settings().shownStart = "2024/03/04 10:00:00";
    settings().shownKind = 0;
    start();
    EXPECT_EQ(frame->statusBar()->currentMessage().toStdString(), gone.toStdString());
}

// The columns show names, numbers, dates and kinds whole and the pane is as
// wide as they are; a column width the user set survives a reload.
TEST_F(BrowserTest, ColumnsAndPaneFitTheirContentsUntilTheUserSetsAWidth) {
    openWindow();
    frame->resize(2400, 900);  // room for the chart and both panes
    frame->show();
    QTreeView& tree = frame->browser().view();
    const QFontMetrics metrics(tree.font());
    const QModelIndex name =
        frame->browser().model().indexOf({"Tokyo Works", "Line 1", "Close", -1});
    ASSERT_TRUE(name.isValid());
    EXPECT_GE(tree.columnWidth(plm::app::BrowserModel::ColName),
              2 * tree.indentation() + metrics.horizontalAdvance(name.data().toString()));
    EXPECT_GE(tree.columnWidth(plm::app::BrowserModel::ColDate),
              metrics.horizontalAdvance("2024/03/01 09:00"));
    EXPECT_GE(tree.columnWidth(plm::app::BrowserModel::ColKind),
              metrics.horizontalAdvance(qsj("測定種別")));
    EXPECT_EQ(frame->findChild<QSplitter*>("main")->sizes().value(1),
              frame->browser().fittingWidth())
        << "no width stored: the pane fits its columns";

    tree.header()->resizeSection(plm::app::BrowserModel::ColName, 33);
    emit doc->treeChanged();
    EXPECT_EQ(tree.columnWidth(plm::app::BrowserModel::ColName), 33);
}

TEST_F(BrowserTest, HiddenBrowserKeepsItsWidthInTheSplitterKey) {
    auto* splitter = frame->findChild<QSplitter*>("main");
    ASSERT_NE(splitter, nullptr);
    splitter->setSizes({900, 260});
    QAction* toggle = frame->action(plm::app::ID_VIEW_BROWSER);
    toggle->trigger();
    EXPECT_FALSE(frame->browser().isVisible());
    frame->close();
    int hidden, w0, row, w1;
    const std::string panes = settings().GetString("SplitterWnd", "main_Panes_0", "", {}, false);
    ASSERT_EQ(std::sscanf(panes.c_str(), "%d %d %d %d", &hidden, &w0, &row, &w1), 4) << panes;
    EXPECT_EQ(hidden, 1);
    EXPECT_EQ(w1, 260);
    EXPECT_EQ(row, -1);

    settings().WriteString("SplitterWnd", "main_Panes_0", "-1 700 -1 333");
    start();
    EXPECT_TRUE(frame->browser().isVisible());
    EXPECT_EQ(frame->findChild<QSplitter*>("main")->sizes().value(1), 333);
}

// Channel 1 of a 50 ms record at 100 us closes at sample 200, bounces open at
// 203 and closes again at 205: strokes at 199, 202 and 204. Channel 2 closes
// at 230 (stroke 229).
class ChartEventsTest : public BrowserTest {
  protected:
    void SetUp() override {
        AppHome::SetUp();
        model::CustomerTree tree;
        model::MeasurementRecord r = record(7, 7);
        r.measPeriod = 0;
        r.contacts.assign(501, 0);
        for (size_t i = 200; i < r.contacts.size(); ++i)
            r.contacts[i] =
                static_cast<uint8_t>(((i == 203 || i == 204) ? 0 : 1) | (i >= 230 ? 2 : 0));
        model::findOrAddMeasurementName(tree, "Kobe", "Bay", "Bounce").records.add(r);
        ASSERT_TRUE(tree.save(settings().dataFilePath(), plm::app::guiErrorReporter()));
        start();
        clickRow({"Kobe", "Bay", "Bounce", 0});
        view().viewport()->grab();  // paints, which lays the sheet out
        plot = view().plotPixels();
        ASSERT_GT(plot.width(), 100);
    }

    plm::app::CViewGraph& view() { return frame->chartView(); }
    QWidget* port() { return view().viewport(); }
    double xOf(double sample) {
        return chart::sampleToX(sample, view().navigator().view(), plot.left(), plot.width());
    }
    QPointF inBand1(double sample) {
        const int channels = view().sheet().chart().channels();
        return {xOf(sample), plot.top() + plot.height() / channels / 2};
    }
    const chart::ChartCursors& cursors() { return view().navigator().cursors(); }

    QRectF plot;
};

TEST_F(ChartEventsTest, CtrlWheelAndDraggedRangeZoomAroundThePointer) {
    const QPointF at = inBand1(200);
    QWheelEvent wheel(at, port()->mapToGlobal(at), {}, {0, 120 * 4}, Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    send(port(), wheel);
    ASSERT_TRUE(view().navigator().visible());
    EXPECT_NEAR(view().navigator().view().length(), 500 / std::pow(1.25, 4), 1e-6);
    EXPECT_NEAR(xOf(200), at.x(), 1e-6) << "the sample under the pointer stays";

    view().showWholeRecord();
    mouse(port(), QEvent::MouseButtonPress, inBand1(100), Qt::LeftButton);
    mouse(port(), QEvent::MouseMove, inBand1(180), Qt::LeftButton);
    const QPointF end = inBand1(300);
    mouse(port(), QEvent::MouseMove, end, Qt::LeftButton);
    mouse(port(), QEvent::MouseButtonRelease, end, Qt::LeftButton);
    EXPECT_NEAR(view().navigator().view().first, 100, 1e-6);
    EXPECT_NEAR(view().navigator().view().last, 300, 1e-6);
    EXPECT_FALSE(cursors().a) << "a drag zooms, it places no cursor";

    key(&view(), Qt::Key_Home);
    EXPECT_FALSE(view().navigator().visible());
}

TEST_F(ChartEventsTest, ClicksPlaceCursorsThatDragAndJumpFromChangeToChange) {
    click(port(), inBand1(190.3));
    ASSERT_EQ(cursors().a, 190);
    // The pointer rests on channel 1: the keys follow its changes only.
    mouse(port(), QEvent::MouseMove, inBand1(250), Qt::NoButton);
    key(&view(), Qt::Key_Right);
    EXPECT_EQ(cursors().a, 199);
    key(&view(), Qt::Key_Right);
    EXPECT_EQ(cursors().a, 202);
    click(port(), inBand1(260));
    EXPECT_EQ(cursors().b, 260);
    key(&view(), Qt::Key_Left);
    EXPECT_EQ(cursors().b, 204);
    EXPECT_EQ(chart::deltaText(view().sheet().chart(), *cursors().a, *cursors().b),
              sj("Δt = B - A = 0.2 ms"));
    // With Shift any channel's change counts: channel 2's.
    key(&view(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(cursors().b, 229);

    // Dragging cursor B's line moves it; nothing is zoomed.
    mouse(port(), QEvent::MouseButtonPress, inBand1(229), Qt::LeftButton);
    mouse(port(), QEvent::MouseMove, inBand1(150), Qt::LeftButton);
    mouse(port(), QEvent::MouseButtonRelease, inBand1(120), Qt::LeftButton);
    EXPECT_EQ(cursors().b, 150);
    EXPECT_EQ(cursors().a, 202);
    EXPECT_FALSE(view().navigator().visible());

    // Escape clears both; the next click places A again. So does the
    // context menu's entry.
    key(&view(), Qt::Key_Escape);
    EXPECT_FALSE(cursors().a);
    EXPECT_FALSE(cursors().b);
    click(port(), inBand1(190.3));
    EXPECT_EQ(cursors().a, 190);
    EXPECT_FALSE(cursors().b);
    auto* clear = view().findChild<QAction*>("clearCursors");
    ASSERT_NE(clear, nullptr);
    EXPECT_EQ(clear->text(), plm::qsj("カーソルを消去"));
    EXPECT_EQ(view().contextMenuPolicy(), Qt::ActionsContextMenu);
    clear->trigger();
    EXPECT_FALSE(cursors().a);
}

}  // namespace
}  // namespace plm::test::app
