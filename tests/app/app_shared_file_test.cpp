// The data file shared with plmtool: what another program writes while the
// main window is open is shown, merged into the window's saves and kept.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QAction>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <regex>

#include "analysis/limits_file.h"
#include "app/browser/measurement_browser.h"
#include "app/document/plm_view_doc.h"
#include "app/main_window/main_frame.h"
#include "app/main_window/view_graph.h"
#include "app/shell/close_on_signal.h"
#include "app_fixture.h"
#include "chart/qt_text.h"
#include "model/shared_data_file.h"
#include "support/file_lock.h"
#include "support/log_writer.h"

namespace plm::test::app {
namespace {

namespace fs = std::filesystem;
using plm::app::CMainFrame;
using plm::app::CPLMViewDoc;
using plm::app::Selection;
using plm::app::SheetMode;

// plmtool register of `capture` on the same program folder, as a program of its own.
void registerWithPlmtool(const TempDir& home, const std::string& customer,
                         const std::string& circuit, const std::string& name,
                         const fs::path& capture = dataPath("capture_two.txt")) {
    const std::string command = std::string("'") + PLMTOOL_PATH + "' --home '" +
                                home.path().string() + "' register '" +
                                fs::absolute(capture).string() + "' '" + customer + "' '" +
                                circuit + "' '" + name + "' >/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
}

void registerWithPlmtool(const TempDir& home, const std::string& name) {
    registerWithPlmtool(home, "Osaka", "Plant", name);
}

// capture_two.txt a year later (2016/01/06): still older than the records of smallTree().
fs::path captureOf2016(const TempDir& home) {
    std::string text = readFile(dataPath("capture_two.txt"));
    for (size_t at = 0; (at = text.find("150106", at)) != std::string::npos;)
        text.replace(at, 6, "160106");
    const fs::path path = home.file("capture_2016.txt");
    writeFile(path.string(), text);
    return path;
}

// A measurement as the user tells it apart on screen.
std::string startAndKind(const model::MeasurementRecord& record) {
    return support::toUtf8(record.testDateTimeText() + " " + record.measureTypeText());
}

// Another program that holds the exclusive lock of `fsPath` for `hold`: a
// child process, holding the lock once the constructor returns.
class LockHolder {
  public:
    LockHolder(const std::string& fsPath, std::chrono::milliseconds hold) {
        int ready[2];
        if (::pipe(ready) != 0)
            throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(fsPath.c_str(), O_RDWR);
            const char held = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
            (void)!::write(ready[1], &held, 1);
            const struct timespec pause {
                static_cast<time_t>(hold.count() / 1000),
                    static_cast<long>(hold.count() % 1000) * 1000000L
            };
            ::nanosleep(&pause, nullptr);
            ::_exit(0);
        }
        char held = 'n';
        (void)!::read(ready[0], &held, 1);
        ::close(ready[0]);
        ::close(ready[1]);
        held_ = held == 'y';
    }
    ~LockHolder() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    bool held() const { return held_; }

  private:
    pid_t pid_ = -1;
    bool held_ = false;
};

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

    // The window open on the small tree; another program then gives the first
    // Close measurement the comment "theirs" and the next sheet gives it "mine".
    void openWindowWithAConflictAtTheNextSheet() {
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
    openWindowWithAConflictAtTheNextSheet();
    prompts.queueNo();  // keep the other program's version
    frame->OnEditData();

    ASSERT_EQ(prompts.texts().size(), 1u);
    const std::string question = prompts.texts()[0];
    const model::CustomerTree disk = onDisk();
    const model::MeasurementRecord& first =
        model::findMeasurementName(disk, "Tokyo Works", "Line 1", "Close")->records.at(0);
    EXPECT_NE(question.find("Tokyo Works / Line 1 / Close" +
                            sj("（こちら：変更　他のプログラム：変更）\n") + sj("　No.") +
                            first.dataNoText() + " " + first.testDateTimeText() +
                            sj("（こちら：条件を変更　他のプログラム：条件を変更）\n")),
              std::string::npos)
        << question;
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

// Showing No.2 of a name, another program files older measurements under
// it: the same measurement stays on screen under its new No., in the chart,
// the browser and the settings of the next start; the same when a sheet's OK
// merges such a change.
TEST_F(SharedFileTest, ShownMeasurementStaysWhenPlmtoolFilesOlderOnesUnderItsName) {
    model::CustomerTree tree = smallTree();
    model::findMeasurementName(tree, "Tokyo Works", "Line 1", "Close")->records.at(1).measureType =
        1;
    ASSERT_TRUE(tree.save(settings().dataFilePath(), plm::app::guiErrorReporter()));
    openWindow();
    doc->select({"Tokyo Works", "Line 1", "Close", 1});
    const std::string shown = startAndKind(frame->chartView().records().at(0));
    ASSERT_EQ(shown, "2024/03/02 10:00 遮断");
    auto onScreen = [&] {
        const auto& records = frame->chartView().records();
        return records.empty() ? std::string() : startAndKind(records.front());
    };
    auto browserRow = [&] {
        const QModelIndex current = frame->browser().view().currentIndex();
        return frame->browser().model().selectionAt(current);
    };

    registerWithPlmtool(home, "Tokyo Works", "Line 1", "Close");
    ASSERT_TRUE(processEventsUntil(
        [&] { return recordsOf(doc->tree(), "Tokyo Works", "Line 1", "Close") == 4; }));
    EXPECT_EQ(doc->selection(), (Selection{"Tokyo Works", "Line 1", "Close", 3}));
    EXPECT_EQ(onScreen(), shown);
    EXPECT_EQ(frame->chartView().records().at(0).dataNo, 4);
    EXPECT_EQ(browserRow(), doc->selection());
    EXPECT_EQ(settings().shownIndex, 3);
    EXPECT_EQ(settings().shownStart, "2024/03/02 10:00:00");
    EXPECT_EQ(settings().shownKind, 1);
    EXPECT_EQ(frame->statusBar()->currentMessage(),
              plm::qsj("他のプログラムが変更したデータファイルを読み込みました"));

    const fs::path older = captureOf2016(home);
    ScriptedSheet::action() = [&](SheetMode, model::CustomerTree& t, Selection& sel) {
        registerWithPlmtool(home, "Tokyo Works", "Line 1", "Close", older);
        t.customers.findOrAdd("Nagoya");
        sel = {"Tokyo Works", "Line 1", "Close", 3};
        return true;
    };
    frame->OnEditData();
    EXPECT_EQ(recordsOf(doc->tree(), "Tokyo Works", "Line 1", "Close"), 6);
    EXPECT_EQ(doc->selection(), (Selection{"Tokyo Works", "Line 1", "Close", 5}));
    EXPECT_EQ(onScreen(), shown);
    EXPECT_EQ(browserRow(), doc->selection());
}

// The sheet's OK finds the shown measurement edited by another program too,
// which also filed older ones under its name: whichever version the user
// keeps, the same measurement stays shown.
TEST_F(SharedFileTest, ShownMeasurementStaysThroughAConflict) {
    struct Case {
        bool keepMine;
        int index;
        int count;
    };
    for (const Case& c : {Case{true, 1, 2}, Case{false, 3, 4}}) {
        ASSERT_TRUE(smallTree().save(settings().dataFilePath(), plm::app::guiErrorReporter()));
        openWindow();
        doc->select({"Tokyo Works", "Line 1", "Close", 1});
        const std::string shown = startAndKind(frame->chartView().records().at(0));
        ScriptedSheet::action() = [&](SheetMode, model::CustomerTree& t, Selection& sel) {
            registerWithPlmtool(home, "Tokyo Works", "Line 1", "Close");
            model::SharedDataFile other(settings().dataFilePath());
            EXPECT_TRUE(other.update(
                [](model::CustomerTree& theirs) {
                    model::findMeasurementName(theirs, "Tokyo Works", "Line 1", "Close")
                        ->records.at(3)
                        .cond.comment = "theirs";
                },
                plm::app::guiErrorReporter()));
            model::findMeasurementName(t, "Tokyo Works", "Line 1", "Close")
                ->records.at(1)
                .cond.comment = "mine";
            sel = {"Tokyo Works", "Line 1", "Close", 1};
            return true;
        };
        c.keepMine ? prompts.queueYes() : prompts.queueNo();
        frame->OnEditData();
        EXPECT_EQ(prompts.texts().size(), 1u) << "the conflict is asked";
        prompts.clear();
        EXPECT_EQ(recordsOf(doc->tree(), "Tokyo Works", "Line 1", "Close"), c.count);
        EXPECT_EQ(doc->selection(), (Selection{"Tokyo Works", "Line 1", "Close", c.index}));
        ASSERT_FALSE(frame->chartView().records().empty());
        EXPECT_EQ(startAndKind(frame->chartView().records().front()), shown);
    }
}

// The shown measurement removed by another program: the status bar says so
// and the nearest measurement of the name is shown; with none left, the hint.
TEST_F(SharedFileTest, ShownMeasurementThatAnotherProgramRemovedIsSaid) {
    ASSERT_TRUE(smallTree().save(settings().dataFilePath(), plm::app::guiErrorReporter()));
    openWindow();
    doc->select({"Tokyo Works", "Line 1", "Close", 1});
    model::SharedDataFile other(settings().dataFilePath());
    auto removeFirst = [&](int count) {
        ASSERT_TRUE(other.update(
            [](model::CustomerTree& t) {
                model::findMeasurementName(t, "Tokyo Works", "Line 1", "Close")
                    ->records.removeAt(0);
            },
            plm::app::guiErrorReporter()));
        ASSERT_TRUE(processEventsUntil(
            [&] { return recordsOf(doc->tree(), "Tokyo Works", "Line 1", "Close") == count; }));
    };
    ASSERT_TRUE(other.update(
        [](model::CustomerTree& t) {
            model::findMeasurementName(t, "Tokyo Works", "Line 1", "Close")->records.removeAt(1);
        },
        plm::app::guiErrorReporter()));
    ASSERT_TRUE(processEventsUntil(
        [&] { return recordsOf(doc->tree(), "Tokyo Works", "Line 1", "Close") == 1; }));
    EXPECT_EQ(doc->selection(), (Selection{"Tokyo Works", "Line 1", "Close", 0}));
    ASSERT_EQ(frame->chartView().records().size(), 1u);
    EXPECT_EQ(startAndKind(frame->chartView().records().at(0)), "2024/03/01 09:00 投入");
    EXPECT_EQ(frame->statusBar()->currentMessage(),
              plm::qsj("表示していた測定データ（2024/03/02 10:00 投入）はなくなりました。"
                       "近い日時の測定データを表示します"));

    removeFirst(0);
    EXPECT_TRUE(frame->chartView().records().empty());
    EXPECT_EQ(doc->selection(), Selection{});
    EXPECT_EQ(frame->statusBar()->currentMessage(),
              plm::qsj("表示していた測定データ（2024/03/01 09:00 投入）はなくなりました"));
}

// Another program holds the data file while the window saves, or LIMITS.INI
// while the judgement pane reads it: the progress window says so with the
// path, the job goes through once the lock is free, and nothing is told of
// waits after it.
TEST_F(SharedFileTest, ProgressWindowSaysThatAnotherProgramHoldsTheDataFileOrTheLimits) {
    ASSERT_TRUE(smallTree().save(settings().dataFilePath(), plm::app::guiErrorReporter()));
    openWindow();
    QStringList labels;
    QTimer spy;
    QObject::connect(&spy, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<QProgressDialog*>(w); window && window->isVisible())
                labels << window->labelText();
        }
    });
    spy.start(20);
    ScriptedSheet::action() = [](SheetMode, model::CustomerTree& t, Selection&) {
        t.customers.findOrAdd("Nagoya");
        return true;
    };
    QElapsedTimer saving;
    {
        LockHolder other(dataFile(), std::chrono::milliseconds(2500));
        ASSERT_TRUE(other.held());
        saving.start();
        frame->OnEditData();
    }
    EXPECT_GE(saving.elapsed(), 2000);
    const QString expected = plm::qsj("データファイル保存中・・・") + "\n\n" +
                             plm::qs(support::longWaitText(dataFile(), std::chrono::seconds(60)));
    EXPECT_TRUE(labels.contains(expected)) << labels.join(" | ").toStdString();
    EXPECT_NE(onDisk().customers.find("Nagoya"), -1);
    EXPECT_FALSE(support::setLongWaitNotice({})) << "a notice stays installed after the save";

    // The judgement pane reading LIMITS.INI while another program holds it.
    const std::string limitsFile = analysis::limitsFilePath();
    writeFile(limitsFile, "");
    labels.clear();
    {
        LockHolder other(limitsFile, std::chrono::milliseconds(1500));
        ASSERT_TRUE(other.held());
        doc->select({"Tokyo Works", "Line 1", "Close", 0});
    }
    EXPECT_TRUE(
        labels.contains(plm::qs(support::longWaitText(limitsFile, std::chrono::seconds(10)))))
        << labels.join(" | ").toStdString();
    EXPECT_FALSE(support::setLongWaitNotice({}));
}

// The conflict question open in PLMView holds no lock: plmtool reads and
// files into the same data file meanwhile, and both finish at once.
TEST_F(SharedFileTest, PlmtoolFinishesWhileTheConflictQuestionIsOpen) {
    openWindowWithAConflictAtTheNextSheet();
    auto timed = [](const std::function<void()>& job) {
        const auto started = std::chrono::steady_clock::now();
        job();
        return std::chrono::steady_clock::now() - started;
    };
    prompts.whileAsking([&](const std::string&) {
        const std::string list = std::string("'") + PLMTOOL_PATH + "' --home '" +
                                 home.path().string() + "' list >/dev/null 2>&1";
        EXPECT_LT(timed([&] { EXPECT_EQ(std::system(list.c_str()), 0); }), std::chrono::seconds(2));
        EXPECT_LT(timed([&] { registerWithPlmtool(home, "Meanwhile"); }), std::chrono::seconds(2));
    });
    prompts.queueYes();  // keep this window's version
    frame->OnEditData();

    ASSERT_EQ(prompts.texts().size(), 1u);
    const model::CustomerTree saved = onDisk();
    EXPECT_EQ(model::findMeasurementName(saved, "Tokyo Works", "Line 1", "Close")
                  ->records.at(0)
                  .cond.comment,
              "mine");
    EXPECT_EQ(recordsOf(saved, "Osaka", "Plant", "Meanwhile"), 2);
    EXPECT_EQ(recordsOf(doc->tree(), "Osaka", "Plant", "Meanwhile"), 2);
}

// SIGTERM while the conflict question is really open answers nothing: the
// box closes, the data file stays as the other program wrote it, this side's
// version goes to the question's file, the log says where, and the window's
// close writes nothing more.
TEST_F(SharedFileTest, TerminationDuringTheConflictQuestionAnswersNothing) {
    support::openAppLog();
    openWindowWithAConflictAtTheNextSheet();
    const std::string theirsBytes = readFile(dataFile());
    auto inode = [&] {
        struct stat st {};
        return ::stat(dataFile().c_str(), &st) == 0 ? st.st_ino : 0;
    };
    const ino_t theirsInode = inode();
    plm::app::CloseOnSignal closer;
    closer.setWindow(frame.get());
    frame->show();
    plm::ui::QtPrompter realBoxes;
    plm::ui::ScopedPrompter shown{realBoxes};
    std::string asked;
    QTimer signalWhenAsked;
    QObject::connect(&signalWhenAsked, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            box && asked.empty()) {
            asked = box->text().toStdString();
            ::kill(::getpid(), SIGTERM);
        }
    });
    signalWhenAsked.start(50);
    frame->OnEditData();
    ASSERT_TRUE(processEventsUntil([&] { return !frame->isVisible(); }));

    std::smatch aside;
    ASSERT_TRUE(std::regex_search(asked, aside, std::regex("\n([^\n]*_conflict_[0-9]{14})$")))
        << asked;
    EXPECT_EQ(readFile(dataFile()), theirsBytes);
    EXPECT_EQ(inode(), theirsInode) << "not written again with an answer nobody gave";
    model::CustomerTree kept;
    ASSERT_TRUE(kept.load(support::fromFsPath(aside[1].str()), plm::app::guiErrorReporter()));
    EXPECT_EQ(kept.customers.count(), 2);
    EXPECT_EQ(model::findMeasurementName(kept, "Tokyo Works", "Line 1", "Close")
                  ->records.at(0)
                  .cond.comment,
              "mine");
    std::string log;
    for (const fs::directory_entry& entry : fs::directory_iterator(home.path()))
        if (entry.path().extension() == ".LOG")
            log += support::toUtf8(readFile(entry.path().string()));
    EXPECT_NE(log.find("こちらの変更は次のファイルに保存しました " + aside[1].str()),
              std::string::npos)
        << log;
    std::vector<std::string> inData;
    for (const fs::directory_entry& entry : fs::directory_iterator(home.file("DATA")))
        inData.push_back(entry.path().filename().string());
    std::sort(inData.begin(), inData.end());
    EXPECT_EQ(inData, (std::vector<std::string>{"BACKUP", "QBX.DAT",
                                                fs::path(aside[1].str()).filename().string()}))
        << "one file of this side, no second one from the close";
    support::AppLog().setLog({});
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
