// What the views hear of the document: each change once, when the operation
// that made it has ended, and never a tree half-changed.
#include <QTreeView>
#include <functional>
#include <string>
#include <vector>

#include "app/browser/measurement_browser.h"
#include "app/document/plm_view_doc.h"
#include "app/main_window/main_frame.h"
#include "app/main_window/view_graph.h"
#include "app_fixture.h"
#include "chart/qt_text.h"
#include "model/shared_data_file.h"

namespace plm::test::app {
namespace {

using plm::app::CPLMViewDoc;
using plm::app::Selection;
using plm::app::SheetMode;

// A main window on a data file that holds smallTree(), and what the
// document's signals said since the last clear.
class DocumentSignalsTest : public AppWindow {
  protected:
    void SetUp() override {
        AppHome::SetUp();
        ASSERT_TRUE(smallTree().save(settings().dataFilePath(), plm::app::guiErrorReporter()));
        openWindow();
        listen();
    }

    void listen() {
        auto note = [this](const char* what) { return [this, what] { heard.push_back(what); }; };
        QObject::connect(doc.get(), &CPLMViewDoc::treeAboutToChange, note("about"));
        QObject::connect(doc.get(), &CPLMViewDoc::treeChanged, note("tree"));
        QObject::connect(doc.get(), &CPLMViewDoc::selectionChanged, note("selection"));
        QObject::connect(doc.get(), &CPLMViewDoc::shownChanged, note("shown"));
        QObject::connect(doc.get(), &CPLMViewDoc::statusText, note("note"));
    }

    // Another program files a measurement of 2024-03-`day` under Close.
    void fileElsewhere(int day) {
        model::SharedDataFile other(settings().dataFilePath());
        ASSERT_TRUE(other.update(
            [day](model::CustomerTree& t) {
                model::findMeasurementName(t, "Tokyo Works", "Line 1", "Close")
                    ->records.add(record(day, 11));
            },
            plm::app::guiErrorReporter()));
    }

    std::vector<std::string> heard;
    ScriptedSheet::Installed sheet;
};

TEST_F(DocumentSignalsTest, EachOperationSendsEachChangeOnceInOrder) {
    struct Case {
        const char* what;
        std::function<void()> run;
        std::vector<std::string> heard;
    };
    const Selection second{"Tokyo Works", "Line 1", "Close", 1};
    const std::vector<Case> cases = {
        {"select", [&] { doc->select(second); }, {"selection", "shown"}},
        {"select a measurement that does not exist",
         [&] {
             doc->select({"Tokyo Works", "Line 1", "Close", 7});
         },
         {"selection", "shown"}},
        {"select the first again",
         [&] {
             doc->select({"Tokyo Works", "Line 1", "Close", 0});
         },
         {"selection", "shown"}},
        {"line settings, which no view shows", [&] { doc->setLineSettings({}); }, {}},
        {"a reload of what another program filed",
         [&] {
             fileElsewhere(5);
             ASSERT_TRUE(doc->ReloadIfChanged());
         },
         {"about", "tree", "shown", "note"}},
        {"the sheet's OK, which saves",
         [&] {
             ScriptedSheet::action() = [](SheetMode, model::CustomerTree& tree, Selection& sel) {
                 tree.customers.findOrAdd("Nagoya");
                 sel = {"Tokyo Works", "Line 1", "Close", 2};
                 return true;
             };
             frame->OnEditData();
         },
         {"about", "tree", "selection", "shown"}},
        {"the sheet cancelled", [&] { frame->OnEditData(); }, {}},
    };
    for (const Case& c : cases) {
        ScriptedSheet::action() = nullptr;
        heard.clear();
        c.run();
        EXPECT_EQ(heard, c.heard) << c.what;
    }
    EXPECT_EQ(doc->selection(), (Selection{"Tokyo Works", "Line 1", "Close", 2}));
}

// The chart, the browser and the title follow the document: a measurement
// another program files under the shown name is listed, the shown one stays.
TEST_F(DocumentSignalsTest, ViewsShowWhatTheDocumentChanged) {
    doc->select({"Tokyo Works", "Line 1", "Close", 1});
    fileElsewhere(5);
    ASSERT_TRUE(doc->ReloadIfChanged());

    const auto& shown = frame->chartView().records();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].testDateTime, record(2, 10).testDateTime);
    plm::app::BrowserModel& listed = frame->browser().model();
    const QModelIndex close = listed.indexOf({"Tokyo Works", "Line 1", "Close", -1});
    EXPECT_EQ(listed.rowCount(close), 3);
    EXPECT_EQ(frame->browser().view().currentIndex(),
              listed.indexOf({"Tokyo Works", "Line 1", "Close", 1}));
    EXPECT_TRUE(frame->windowTitle().startsWith("Tokyo Works / Line 1 / Close  No.2 - "));

    doc->select({"Tokyo Works", "Line 1", "Close", 9});
    EXPECT_TRUE(frame->chartView().records().empty());
    EXPECT_FALSE(frame->browser().view().selectionModel()->hasSelection());
    EXPECT_EQ(frame->windowTitle(), plm::qs(plm::ui::appTitle()));
}

// An import adds customers while its messages (and progress window) repaint
// the main window: the browser must not list the tree it is changing.
TEST_F(DocumentSignalsTest, BrowserListsNothingWhileAnImportChangesTheTree) {
    struct CountingPrompter : ScriptedPrompter {
        std::function<void()> onPlain;
        void plain(const std::string& text) override {
            onPlain();
            ScriptedPrompter::plain(text);
        }
    } counting;
    std::vector<int> listedMeanwhile;
    counting.onPlain = [&] { listedMeanwhile.push_back(frame->browser().model().rowCount()); };
    const ui::ScopedPrompter scopedCounting(counting);
    model::CustomerTree source;
    source.customers.findOrAdd("Osaka");
    const std::string file = home.file("in.qbx");
    ASSERT_TRUE(source.save(support::fromFsPath(file), plm::app::guiErrorReporter()));
    ASSERT_EQ(frame->browser().model().rowCount(), 2);

    counting.queuePath(support::fromFsPath(file));
    frame->OnImport();
    EXPECT_EQ(counting.texts().size(), 1u) << "the renamed customer";
    EXPECT_EQ(listedMeanwhile, std::vector<int>{0});
    EXPECT_EQ(frame->browser().model().rowCount(), 3);
    EXPECT_EQ(heard, (std::vector<std::string>{"about", "tree"}));
    EXPECT_TRUE(counting.problems().empty());
}

// The document keeps the session in the settings it was given: the names
// chosen last and the shown measurement, which the next document on the
// same settings shows again. The program's own settings stay as they were.
TEST_F(AppHome, DocumentKeepsTheSessionInItsSettings) {
    ASSERT_TRUE(smallTree().save(settings().dataFilePath(), plm::app::guiErrorReporter()));
    const settings::AppSettings before = settings();
    settings::AppSettings session = settings();
    const Selection second{"Tokyo Works", "Line 1", "Close", 1};
    {
        CPLMViewDoc doc(session);
        doc.OnNewDocument();
        doc.choose(second);
    }
    EXPECT_EQ(session.selCustomer, "Tokyo Works");
    EXPECT_EQ(session.selCableName, "Line 1");
    EXPECT_EQ(session.shownIndex, 1);
    EXPECT_EQ(settings().selCustomer, before.selCustomer);
    EXPECT_EQ(settings().shownIndex, before.shownIndex);

    CPLMViewDoc next(session);
    next.OnNewDocument();
    EXPECT_EQ(next.selection(), second);
    EXPECT_EQ(next.sheetStart().customer, "Tokyo Works");
}

}  // namespace
}  // namespace plm::test::app
