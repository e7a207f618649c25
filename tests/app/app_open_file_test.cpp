// A file handed to the program by the desktop: an export file is offered for
// import, by this copy or by the one already running.
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QStatusBar>
#include <thread>

#include "app/document/plm_view_doc.h"
#include "app/main_window/main_frame.h"
#include "app/shell/single_instance.h"
#include "app/startup/plm_view_app.h"
#include "app_fixture.h"
#include "chart/qt_text.h"

namespace plm::test::app {
namespace {

using plm::app::PlmViewApp;

std::string importQuestion(const std::string& fsPath) {
    return sj("次のファイルのデータを取り込みますか？\n") + support::fromFsPath(fsPath);
}

void processEventsUntil(const std::function<bool()>& done, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// A program folder whose data file holds smallTree(), a folder of files to
// open, and the current folder restored afterwards (start-up changes it).
class OpenFileTest : public AppHome {
  protected:
    void SetUp() override {
        AppHome::SetUp();
        ASSERT_TRUE(smallTree().save(settings().dataFilePath(), plm::app::guiErrorReporter()));
        std::filesystem::create_directories(files.path() / "sub");
        model::CustomerTree foreign;
        foreign.customers.findOrAdd("Foreign");
        for (const char* name : {"sub/customer.QBX", "sub/customers"})
            ASSERT_TRUE(
                foreign.save(support::fromFsPath(files.file(name)), plm::app::guiErrorReporter()));
        writeFile(files.file("sub/capture.txt"), readFile(dataPath("capture_two.txt")));
        QDir::setCurrent(QString::fromStdString(files.path().string()));
    }
    void TearDown() override {
        QDir::setCurrent(startFolder);
        EXPECT_TRUE(prompts.problems().empty()) << prompts.problems().front();
    }

    bool imported(const PlmViewApp& app) const {
        return app.document()->tree().customers.find("Foreign") != -1;
    }

    TempDir files;
    QString startFolder = QDir::currentPath();
};

TEST_F(OpenFileTest, StartedWithAFileAsksBeforeImportingExportFilesOnly) {
    struct Case {
        const char* argument;  // relative to the folder the program starts in
        bool asked;
        bool yes;
    };
    const Case cases[] = {
        {"sub/customer.QBX", true, true},
        {"sub/customer.QBX", true, false},
        {"sub/customers", true, true},  // no extension, but a data file inside
        {"sub/capture.txt", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.argument) + (c.yes ? " yes" : " no"));
        // An import is saved at once: every case starts from the same data file.
        ASSERT_TRUE(smallTree().save(settings().dataFilePath(), plm::app::guiErrorReporter()));
        QDir::setCurrent(QString::fromStdString(files.path().string()));
        prompts.clear();
        if (c.asked)
            prompts.queueAnswer(c.yes ? ui::Answer::Yes : ui::Answer::No);
        PlmViewApp app;
        ASSERT_EQ(app.InitInstance({c.argument}), PlmViewApp::Start::Running);
        processEventsUntil([&] { return !prompts.shown().empty(); }, c.asked ? 5000 : 300);

        const std::vector<std::string> expected =
            c.asked ? std::vector<std::string>{importQuestion(files.file(c.argument))}
                    : std::vector<std::string>{};
        EXPECT_EQ(prompts.texts(), expected);
        EXPECT_EQ(imported(app), c.asked && c.yes);
        EXPECT_NE(app.document()->tree().customers.find("Osaka"), -1);
        model::CustomerTree saved;
        ASSERT_TRUE(saved.load(settings().dataFilePath(), plm::app::guiErrorReporter()));
        EXPECT_EQ(saved.customers.find("Foreign") != -1, c.asked && c.yes) << "saved at once";
        app.ExitInstance();
    }
}

// The running copy takes the file of a second copy started from another
// folder: the second copy ends at once, the first asks and imports.
TEST_F(OpenFileTest, SecondCopyHandsItsExportFileToTheRunningCopy) {
    PlmViewApp running;
    ASSERT_EQ(running.InitInstance({}), PlmViewApp::Start::Running);
    processEventsUntil([] { return false; }, 100);
    ASSERT_TRUE(prompts.shown().empty());
    prompts.queueYes();

    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PLMVIEW_HOME", QString::fromStdString(home.path().string()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(QString::fromStdString(files.path().string()));
    second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    second.start(PLMVIEW_PATH, {"sub/customer.QBX"});
    processEventsUntil([&] { return second.state() == QProcess::NotRunning; }, 30000);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);

    processEventsUntil([&] { return !prompts.shown().empty(); });
    EXPECT_EQ(prompts.texts(),
              std::vector<std::string>{importQuestion(files.file("sub/customer.QBX"))});
    EXPECT_TRUE(imported(running));
    EXPECT_EQ(cp(running.frame()->statusBar()->currentMessage()),
              sj("インポートしました：Foreign（customer.QBX から）"));
    running.ExitInstance();
}

TEST(SingleInstance, RaiseRequestCarriesTheFileOfTheAskingCopy) {
    ensureApplication();
    TempDir folder;
    const QString programFolder = QString::fromStdString(folder.path().string());
    plm::app::SingleInstance runningCopy(plm::app::kInstanceName, programFolder);
    std::vector<QString> requests;
    ASSERT_TRUE(runningCopy.listen([&](const QString& file) { requests.push_back(file); }));

    for (const QString& file : {QString("/tmp/データ 1.qbx"), QString()}) {
        bool answered = false;
        std::thread asking([&] {
            plm::app::SingleInstance later(plm::app::kInstanceName, programFolder);
            answered = later.askRunningCopyToRaise(file);
        });
        processEventsUntil([&] { return requests.size() == (file.isEmpty() ? 2u : 1u); });
        asking.join();
        EXPECT_TRUE(answered);
    }
    EXPECT_EQ(requests, (std::vector<QString>{"/tmp/データ 1.qbx", QString()}));
}

}  // namespace
}  // namespace plm::test::app
