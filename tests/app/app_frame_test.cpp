#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPrinter>
#include <QProcess>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>

#include "app/dialogs/export_dialog.h"
#include "app/document/plm_view_doc.h"
#include "app/main_window/first_placement.h"
#include "app/main_window/main_frame.h"
#include "app/main_window/view_graph.h"
#include "app_fixture.h"
#include "chart/qt_text.h"
#include "ui/busy_scope.h"
#include "ui/prompter.h"

namespace plm::test::app {
namespace {

using plm::app::CMainFrame;
using plm::app::CPLMViewDoc;
using plm::app::Selection;
using plm::app::SheetMode;

// A main window on a data file that holds smallTree().
class FrameTest : public AppWindow {
  protected:
    void SetUp() override {
        AppHome::SetUp();
        ASSERT_TRUE(smallTree().save(settings().dataFilePath(), plm::app::guiErrorReporter()));
        original = readFile(dataFile());
        openWindow();
    }

    bool textOutEnabled() { return frame->action(plm::app::ID_TEXT_OUT)->isEnabled(); }
    // A change the document keeps in memory until the next save.
    static model::LineSettings linePort(int port) {
        model::LineSettings line;
        line.port = port;
        return line;
    }

    std::string original;
    ScriptedSheet::Installed sheet;
};

TEST_F(FrameTest, EditCancelLeavesTreeAndDataFileUntouched) {
    ScriptedSheet::action() = [](SheetMode, model::CustomerTree& tree, Selection&) {
        tree.customers.removeAt(0);
        tree.lineSettings.port = 7;
        return false;
    };
    frame->OnEditData();
    ASSERT_EQ(ScriptedSheet::calls().size(), 1u);
    EXPECT_EQ(ScriptedSheet::calls()[0].mode, SheetMode::Edit);
    EXPECT_NE(ScriptedSheet::calls()[0].tree, &doc->tree()) << "edit works on a copy";
    EXPECT_EQ(doc->tree().customers.count(), 2);
    EXPECT_EQ(doc->tree().lineSettings.port, 1);
    EXPECT_EQ(readFile(dataFile()), original);
    EXPECT_FALSE(textOutEnabled());
}

TEST_F(FrameTest, EditOkCommitsSavesAtOnceAndShowsTheSelection) {
    ScriptedSheet::action() = [](SheetMode, model::CustomerTree& tree, Selection& sel) {
        tree.customers.findOrAdd("Nagoya");
        tree.lineSettings.port = 3;
        sel = {"Tokyo Works", "Line 1", "Close", 1};
        return true;
    };
    frame->OnTransferData();
    EXPECT_EQ(ScriptedSheet::calls().at(0).mode, SheetMode::Transfer);

    model::CustomerTree onDisk;
    ASSERT_TRUE(onDisk.load(settings().dataFilePath(), plm::app::guiErrorReporter()));
    EXPECT_NE(onDisk.customers.find("Nagoya"), -1) << "saved before exit";
    EXPECT_EQ(onDisk.lineSettings.port, 3);
    EXPECT_EQ(settings().selCustomer, "Tokyo Works");
    EXPECT_EQ(settings().selCableName, "Line 1");

    const auto& shown = frame->chartView().records();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].dataNo, 2) << "the record at the selected index";
    EXPECT_EQ(frame->chartView().names().level3, "Close");
    EXPECT_TRUE(textOutEnabled());
}

TEST_F(FrameTest, SelectionOfAMissingMeasurementClearsTheView) {
    ScriptedSheet::action() = [](SheetMode, model::CustomerTree&, Selection& sel) {
        sel = {"Tokyo Works", "Line 1", "Close", 0};
        return true;
    };
    frame->OnEditData();
    ASSERT_TRUE(textOutEnabled());
    EXPECT_EQ(frame->windowTitle(),
              plm::qs("Tokyo Works / Line 1 / Close  No.1 - " + plm::ui::appTitle()));
    ScriptedSheet::action() = [](SheetMode, model::CustomerTree& tree, Selection& sel) {
        tree.customers.removeAt(tree.customers.find("Tokyo Works"));
        sel = {"Tokyo Works", "Line 1", "Close", 0};
        return true;
    };
    frame->OnEditData();
    EXPECT_TRUE(frame->chartView().records().empty());
    EXPECT_EQ(doc->selection(), Selection{});
    EXPECT_FALSE(textOutEnabled());
    EXPECT_EQ(frame->windowTitle(), plm::qs(plm::ui::appTitle()));
}

TEST_F(FrameTest, DisplayWorksOnTheOwnTreeAndWritesNoData) {
    settings().selCustomer = "Osaka";
    ScriptedSheet::action() = [](SheetMode, model::CustomerTree&, Selection& sel) {
        sel = {"Tokyo Works", "Line 1", "Close", 0};
        return true;
    };
    frame->OnDisplayData();
    const auto& call = ScriptedSheet::calls().at(0);
    EXPECT_EQ(call.mode, SheetMode::Display);
    EXPECT_EQ(call.tree, &doc->tree());
    EXPECT_EQ(call.selectionIn.customer, "Osaka") << "starts from SelCustomer";
    EXPECT_EQ(settings().selCustomer, "Tokyo Works");
    EXPECT_EQ(readFile(dataFile()), original);
    EXPECT_TRUE(textOutEnabled());
}

// Export files come and go through one folder: the import starts where the
// last export or import went, and the status bar tells where an export landed.
TEST_F(FrameTest, ImportStartsInTheFolderOfTheLastExportOrImport) {
    const auto importStartsIn = [&](std::optional<std::string> chosen) {
        prompts.clear();
        prompts.queuePath(std::move(chosen));
        frame->OnImport();
        return prompts.shown().at(0).initial;
    };
    EXPECT_EQ(importStartsIn(std::nullopt), support::fromFsPath(QDir::homePath().toStdString()))
        << "before any exchange: the export folder, C:\\ standing for the home folder";

    const std::string exportFolder = home.file("out");
    std::filesystem::create_directories(exportFolder);
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<plm::app::CDataSave*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->folderEdit()->setText(QString::fromStdString(exportFolder));
        dialog->OnOK();
        dialog->reject();
    });
    frame->OnExport();
    EXPECT_EQ(frame->statusBar()->currentMessage().toStdString(),
              "エクスポートしました：" + exportFolder + "/Osaka.QBX");
    EXPECT_EQ(importStartsIn(std::nullopt), exportFolder) << "a cancelled import changes nothing";

    const std::string otherFolder = home.file("in");
    std::filesystem::create_directories(otherFolder);
    std::filesystem::copy_file(exportFolder + "/Osaka.QBX", otherFolder + "/Osaka.QBX");
    EXPECT_EQ(importStartsIn(otherFolder + "/Osaka.QBX"), exportFolder);
    EXPECT_EQ(importStartsIn(std::nullopt), otherFolder);
}

TEST_F(FrameTest, ClosingStoresPlacementSplitterAndData) {
    doc->setLineSettings(linePort(5));
    frame->show();
    frame->close();
    model::CustomerTree onDisk;
    ASSERT_TRUE(onDisk.load(settings().dataFilePath(), plm::app::guiErrorReporter()));
    EXPECT_EQ(onDisk.lineSettings.port, 5);
    EXPECT_TRUE(settings().placementValid);
    EXPECT_EQ(settings().placement.showCmd, 1u);
    const std::string panes = settings().GetString("SplitterWnd", "main_Panes_0", "", {}, false);
    int hidden, w0, row, w1;
    ASSERT_EQ(std::sscanf(panes.c_str(), "%d %d %d %d", &hidden, &w0, &row, &w1), 4) << panes;
    EXPECT_GT(w0, 10);
    EXPECT_EQ(w1, 150) << "the hidden column keeps its default width";
}

// A load or save repaints its progress window, which lets a click on the
// window's close button through; that close must not start a second save
// inside the running one.
TEST_F(FrameTest, ClosingWhileALoadOrSaveRunsWaitsForTheNextClose) {
    doc->setLineSettings(linePort(5));
    frame->show();
    {
        plm::ui::BusyScope busy(QStringLiteral("saving"));
        EXPECT_FALSE(frame->close());
        EXPECT_EQ(readFile(dataFile()), original);
    }
    EXPECT_TRUE(frame->close());
    model::CustomerTree onDisk;
    ASSERT_TRUE(onDisk.load(settings().dataFilePath(), plm::app::guiErrorReporter()));
    EXPECT_EQ(onDisk.lineSettings.port, 5);
}

TEST_F(FrameTest, StoredPlacementAppliesAndHiddenColumnWidthIsKept) {
    settings().WriteString("SplitterWnd", "main_Panes_0", "-1 420 -1 77");
    settings().placement = {0, 3, -1, -1, -1, -1, 40, 50, 840, 650};
    settings().placementValid = true;
    CPLMViewDoc doc2(settings());
    CMainFrame frame2(doc2, settings());
    EXPECT_TRUE(frame2.applyPlacement()) << "show command 3 opens maximized";
    EXPECT_EQ(frame2.geometry().size(), QSize(800, 600));
    frame2.close();
    const std::string panes = settings().GetString("SplitterWnd", "main_Panes_0", "", {}, false);
    EXPECT_EQ(panes.substr(panes.rfind(' ')), " 77") << "the hidden column's width is kept";
}

// A first start fills a screen up to the largest first window; a stored
// placement stays inside the screen it appears on.
TEST_F(FrameTest, FirstWindowFitsTheScreenAndAStoredPlacementStaysOnIt) {
    EXPECT_EQ(plm::app::firstWindowSize({1280, 760}), QSize(1280, 760));
    EXPECT_EQ(plm::app::firstWindowSize({3840, 2100}), plm::app::kLargestFirstWindow);

    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    settings().placementValid = false;
    CPLMViewDoc doc2(settings());
    CMainFrame first(doc2, settings());
    EXPECT_EQ(first.applyPlacement(), area.size() == plm::app::firstWindowSize(area.size()));
    EXPECT_TRUE(area.contains(first.geometry())) << "inside the screen";

    const QRect inside = area.adjusted(10, 10, -10, -10);
    struct Case {
        QRect stored;
        QRect kept;
    };
    const Case cases[] = {
        {inside, inside},
        {QRect(5000, 4000, 400, 300),
         QRect(area.right() + 1 - 400, area.bottom() + 1 - 300, 400, 300)},  // a screen gone
        {QRect(-900, 20, 400, 300), QRect(area.left(), 20, 400, 300)},
        {QRect(area.topLeft(), area.size() * 2), area},  // a larger screen's window
    };
    for (const Case& c : cases) {
        settings().placement = {0,
                                1,
                                -1,
                                -1,
                                -1,
                                -1,
                                c.stored.left(),
                                c.stored.top(),
                                c.stored.right() + 1,
                                c.stored.bottom() + 1};
        settings().placementValid = true;
        CMainFrame frame2(doc2, settings());
        EXPECT_FALSE(frame2.applyPlacement());
        EXPECT_EQ(frame2.geometry(), c.kept);
    }
}

// Beside a chart that needs 700 pixels for its whole record: the panes get
// what they want while all fits, else share the rest; a browser width the
// user set stays.
TEST(FitPanes, TheChartKeepsItsWholeRecordWhileThePanesCanShrink) {
    using plm::app::PaneWidths;
    struct Case {
        int room;
        bool browserKept;
        PaneWidths expected;
    };
    const Case cases[] = {
        {1900, false, {300, 500}},  // everything fits, the chart takes the rest
        {1500, false, {300, 500}}, {1100, false, {150, 250}},  // shared 3 : 5
        {900, false, {150, 240}},  // the narrowest panes; the chart scrolls
        {1100, true, {300, 240}},  // the user's width stays, the dock gives way
        {1900, true, {300, 500}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.room);
        const PaneWidths got = plm::app::fitPanes(c.room, 700, {300, 500}, c.browserKept);
        EXPECT_EQ(got.browser, c.expected.browser);
        EXPECT_EQ(got.dock, c.expected.dock);
    }
}

TEST_F(FrameTest, OpeningADocumentFileReadsNothing) {
    const std::string other = home.file("other.qbx");
    model::CustomerTree foreign;
    foreign.customers.findOrAdd("Foreign");
    ASSERT_TRUE(foreign.save(support::fromFsPath(other), plm::app::guiErrorReporter()));
    EXPECT_TRUE(frame->openDocumentFile(QString::fromStdString(other)));
    EXPECT_EQ(doc->tree().customers.find("Foreign"), -1);
    EXPECT_EQ(doc->tree().customers.count(), 2);

    EXPECT_FALSE(frame->openDocumentFile(QString::fromStdString(home.file("missing.qbx"))));
    EXPECT_EQ(prompts.texts(),
              std::vector<std::string>{sj("ファイルを開くことが出来ません\n") +
                                       support::fromFsPath(home.file("missing.qbx"))});
}

// A file dropped on the window does what starting with it does; a captured
// transfer opens the transfer sheet reading it; anything else is refused.
TEST_F(FrameTest, DroppedFileIsImportedReadAsATransferOrRefused) {
    model::CustomerTree foreign;
    foreign.customers.findOrAdd("Foreign");
    ASSERT_TRUE(
        foreign.save(support::fromFsPath(home.file("other.qbx")), plm::app::guiErrorReporter()));
    writeFile(home.file("capture.txt"), readFile(dataPath("capture_two.txt")));
    writeFile(home.file("notes.txt"), "; a comment\nnot a block\n");
    std::filesystem::create_directories(home.path() / "folder");
    const std::string refused = sj("このファイルは読み込めません\n");
    const std::string hint =
        sj("\nエクスポートしたデータ (*.qbx) か計測データファイル (*.txt) をドロップしてください");
    struct Case {
        const char* file;
        std::string shown;  // the message or question; empty for none
        bool imports;
        bool readsTransfer;
    };
    const Case cases[] = {
        {"capture.txt", "", false, true},
        {"notes.txt", refused, false, false},
        {"folder", sj("ファイルを開くことが出来ません\n"), false, false},
        {"missing.qbx", sj("ファイルを開くことが出来ません\n"), false, false},
        {"other.qbx", sj("次のファイルのデータを取り込みますか？\n"), true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        prompts.clear();
        ScriptedSheet::calls().clear();
        if (c.imports)
            prompts.queueYes();
        const std::string path = home.file(c.file);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(frame.get(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(frame.get(), &drop);
        EXPECT_TRUE(drop.isAccepted());
        QCoreApplication::processEvents();

        std::string expected = c.shown.empty() ? "" : c.shown + support::fromFsPath(path);
        if (c.shown == refused)
            expected += hint;
        EXPECT_EQ(prompts.texts(), expected.empty() ? std::vector<std::string>{}
                                                    : std::vector<std::string>{expected});
        EXPECT_EQ(doc->tree().customers.find("Foreign") != -1, c.imports);
        ASSERT_EQ(ScriptedSheet::calls().size(), c.readsTransfer ? 1u : 0u);
        if (c.readsTransfer) {
            EXPECT_EQ(ScriptedSheet::calls()[0].mode, SheetMode::Transfer);
            EXPECT_EQ(ScriptedSheet::calls()[0].fileReadOnOpen, support::fromFsPath(path));
        }
        if (c.imports) {
            EXPECT_NE(readFile(dataFile()), original) << "saved at once";
            EXPECT_EQ(cp(frame->statusBar()->currentMessage()),
                      sj("インポートしました：Foreign（other.qbx から）"));
        }
    }

    // Only local files are taken.
    QMimeData web;
    web.setUrls({QUrl("https://example.com/a.qbx")});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(frame.get(), &enter);
    EXPECT_FALSE(enter.isAccepted());
}

// Every toolbar button says what it does under the pointer, and its
// status-bar prompt goes when the pointer leaves.
TEST_F(FrameTest, ToolbarButtonsHaveTooltipsAndTheirPromptGoesOnLeaving) {
    frame->show();
    auto* bar = frame->findChild<QToolBar*>("mainToolBar");
    ASSERT_NE(bar, nullptr);
    // A tooltip shows also while another window is active, as on the desktop.
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_FALSE(frame->isActiveWindow());
    int buttons = 0;
    for (QAction* action : bar->actions()) {
        if (action->isSeparator())
            continue;
        auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
        ASSERT_NE(button, nullptr);
        SCOPED_TRACE(action->text().toStdString());
        ++buttons;
        EXPECT_FALSE(button->toolTip().isEmpty());
        QHelpEvent help(QEvent::ToolTip, QPoint(4, 4), button->mapToGlobal(QPoint(4, 4)));
        QCoreApplication::sendEvent(button, &help);
        EXPECT_EQ(QToolTip::text(), action->toolTip());
        QToolTip::hideText();

        QEnterEvent enter(QPointF(4, 4), QPointF(4, 4), button->mapToGlobal(QPointF(4, 4)));
        QCoreApplication::sendEvent(button, &enter);
        EXPECT_EQ(frame->statusBar()->currentMessage(), action->statusTip());
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(button, &leave);
        EXPECT_EQ(cp(frame->statusBar()->currentMessage()), sj("レディ"));
        // The pointer may leave the window between two buttons' events.
        QCoreApplication::sendEvent(button, &enter);
        QCoreApplication::sendEvent(bar, &leave);
        EXPECT_EQ(cp(frame->statusBar()->currentMessage()), sj("レディ"));
    }
    EXPECT_EQ(buttons, 8);
}

TEST_F(FrameTest, PrintRendersTheReportPageOfTheShownMeasurement) {
    ScriptedSheet::action() = [](SheetMode, model::CustomerTree&, Selection& sel) {
        sel = {"Tokyo Works", "Line 1", "Close", 0};
        return true;
    };
    frame->OnEditData();
    QPrinter& printer = frame->printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(home.file("page.pdf")));
    frame->chartView().printTo(printer);

    QProcess text;
    text.start("pdftotext", {"-layout", QString::fromStdString(home.file("page.pdf")), "-"});
    if (!text.waitForFinished(20000) || text.exitCode() != 0)
        GTEST_SKIP() << "pdftotext not available";
    const QString page = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(page.contains(QString::fromUtf8("クロノメイト試験結果"))) << page.toStdString();
    EXPECT_TRUE(page.contains("Tokyo Works"));
    EXPECT_EQ(page.count('\f'), 1) << "one page";
}

}  // namespace
}  // namespace plm::test::app
