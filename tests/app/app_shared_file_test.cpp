// The data file shared with plmtool: what another program writes while the
// main window is open is shown, merged into the window's saves and kept.
#include <sys/stat.h>
#include <sys/wait.h>
#include <QAction>
#include <QDeadlineTimer>
#include <QStatusBar>
#include <QThread>
#include <filesystem>
#include <regex>

#include "app/main_window/main_frame.h"
#include "app/main_window/plm_view_doc.h"
#include "app_fixture.h"
#include "chart/qt_text.h"
#include "model/shared_data_file.h"

namespace plm::test::app {
namespace {

namespace fs = std::filesystem;
using plm::app::CMainFrame;
using plm::app::CPLMViewDoc;
using plm::app::Selection;
using plm::app::SheetMode;

// plmtool register on the same program folder, as a program of its own.
void registerWithPlmtool(const TempDir& home, const std::string& name) {
    const std::string command = std::string("'") + PLMTOOL_PATH + "' --home '" +
                                home.path().string() + "' register '" +
                                fs::absolute(dataPath("capture_two.txt")).string() +
                                "' Osaka Plant '" + name + "' >/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
}

int recordsOf(const model::CustomerTree& tree, const char* customer, const char* circuit,
              const char* name) {
    const model::MeasurementName* n = model::findMeasurementName(tree, customer, circuit, name);
    return n ? n->records.count() : -1;
}

class SharedFileTest : public AppWindow {
  protected:
    model::CustomerTree onDisk() {
        model::CustomerTree tree;
        EXPECT_TRUE(tree.load(settings().dataFilePath(), plm::app::guiErrorReporter()));
        return tree;
    }
    // Lets the window see file events until `done` holds.
    bool processEventsUntil(const std::function<bool()>& done) {
        QDeadlineTimer deadline(5000);
        while (!done() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(20);
        }
        return done();
    }

    ScriptedSheet::Installed sheet;
};

TEST_F(SharedFileTest, RecordsOfPlmtoolAreShownMergedAndKept) {
    ASSERT_TRUE(smallTree().save(settings().dataFilePath(), plm::app::guiErrorReporter()));
    openWindow();
    ScriptedSheet::action() = [](SheetMode, model::CustomerTree&, Selection& sel) {
        sel = {"Tokyo Works", "Line 1", "Close", 1};
        return true;
    };
    frame->OnDisplayData();

    // Nothing open: the window reloads, keeps its selection and says so.
    registerWithPlmtool(home, "First");
    ASSERT_TRUE(
        processEventsUntil([&] { return recordsOf(doc->tree(), "Osaka", "Plant", "First") == 2; }));
    EXPECT_EQ(doc->selection(), (Selection{"Tokyo Works", "Line 1", "Close", 1}));
    EXPECT_EQ(frame->statusBar()->currentMessage(),
              plm::qsj("他のプログラムが変更したデータファイルを読み込みました"));

    // Written while a sheet is open: its OK keeps both.
    ScriptedSheet::action() = [&](SheetMode, model::CustomerTree& tree, Selection&) {
        registerWithPlmtool(home, "During");
        tree.customers.findOrAdd("Nagoya");
        return true;
    };
    frame->OnEditData();
    EXPECT_EQ(recordsOf(doc->tree(), "Osaka", "Plant", "During"), 2);
    frame->close();

    const model::CustomerTree saved = onDisk();
    EXPECT_EQ(recordsOf(saved, "Osaka", "Plant", "First"), 2);
    EXPECT_EQ(recordsOf(saved, "Osaka", "Plant", "During"), 2);
    EXPECT_EQ(recordsOf(saved, "Tokyo Works", "Line 1", "Close"), 2);
    EXPECT_NE(saved.customers.find("Nagoya"), -1);
}

TEST_F(SharedFileTest, ConflictIsAskedAndTheOtherVersionStaysBeside) {
    ASSERT_TRUE(smallTree().save(settings().dataFilePath(), plm::app::guiErrorReporter()));
    openWindow();
    model::SharedDataFile other(settings().dataFilePath());
    ASSERT_TRUE(other.update(
        [](model::CustomerTree& t) {
            model::findMeasurementName(t, "Tokyo Works", "Line 1", "Close")
                ->records.at(0)
                .cond.comment = "theirs";
        },
        plm::app::guiErrorReporter()));
    ScriptedSheet::action() = [](SheetMode, model::CustomerTree& tree, Selection&) {
        model::findMeasurementName(tree, "Tokyo Works", "Line 1", "Close")
            ->records.at(0)
            .cond.comment = "mine";
        return true;
    };
    prompts.queueNo();  // keep the other program's version
    frame->OnEditData();

    ASSERT_EQ(prompts.texts().size(), 1u);
    const std::string question = prompts.texts()[0];
    EXPECT_NE(question.find("Tokyo Works / Line 1 / Close" +
                            sj("（こちら：変更　他のプログラム：変更）\n")),
              std::string::npos);
    std::smatch aside;
    const std::string path = support::fromFsPath(dataFile());
    ASSERT_TRUE(std::regex_search(question, aside, std::regex("\n([^\n]*_conflict_[0-9]{14})$")))
        << question;
    EXPECT_EQ(aside[1].str().rfind(path, 0), 0u);
    auto comment = [](const model::CustomerTree& t) {
        return model::findMeasurementName(t, "Tokyo Works", "Line 1", "Close")
            ->records.at(0)
            .cond.comment;
    };
    EXPECT_EQ(comment(onDisk()), "theirs");
    EXPECT_EQ(comment(doc->tree()), "theirs");
    model::CustomerTree kept;
    ASSERT_TRUE(kept.load(aside[1].str(), plm::app::guiErrorReporter()));
    EXPECT_EQ(comment(kept), "mine");
}

// A data file that cannot be opened stays as it is; edits and imports say
// that it is not available instead of writing it.
TEST_F(SharedFileTest, UnavailableDataFileIsNeverWritten) {
    fs::create_directories(fs::path(dataFile()).parent_path());
    ASSERT_EQ(mkfifo(dataFile().c_str(), 0600), 0);
    openWindow();
    const std::string path = support::fromFsPath(dataFile());
    const std::string unavailable = sj("データファイルが使用できません\n") + path;
    EXPECT_EQ(prompts.texts(),
              std::vector<std::string>{sj("ファイルを開くことが出来ません\n") + path});
    prompts.clear();

    ScriptedSheet::action() = [](SheetMode, model::CustomerTree& tree, Selection&) {
        tree.customers.findOrAdd("Nagoya");
        return true;
    };
    frame->OnEditData();
    frame->OnImport();
    EXPECT_EQ(prompts.texts(), (std::vector<std::string>{unavailable, unavailable}));
    EXPECT_TRUE(fs::is_fifo(dataFile()));
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(dataFile()).parent_path()),
                            fs::directory_iterator()),
              1);
}

TEST_F(SharedFileTest, OnlyViewingWritesNothing) {
    ASSERT_TRUE(smallTree().save(settings().dataFilePath(), plm::app::guiErrorReporter()));
    auto inode = [&] {
        struct stat st {};
        ::stat(dataFile().c_str(), &st);
        return st.st_ino;
    };
    const auto before = inode();
    openWindow();
    ScriptedSheet::action() = [](SheetMode, model::CustomerTree&, Selection& sel) {
        sel = {"Tokyo Works", "Line 1", "Close", 0};
        return true;
    };
    frame->OnDisplayData();
    frame->close();
    EXPECT_EQ(inode(), before) << "a save renames a new file over the old one";
}

}  // namespace
}  // namespace plm::test::app
