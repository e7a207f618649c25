// The start-up and exit sequences, run on the real program in its own processes.
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>
#include <csignal>

#include "app/shell/single_instance.h"
#include "app/startup/plm_view_app.h"
#include "app_fixture.h"

namespace plm::test::app {
namespace {

class ProcessTest : public ::testing::Test {
  protected:
    void SetUp() override { ensureApplication(); }

    void TearDown() override {
        for (auto& p : running) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PLMVIEW_HOME", QString::fromStdString(home.path().string()));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }

    QProcess& start() {
        running.push_back(std::make_unique<QProcess>());
        QProcess& p = *running.back();
        p.setProcessEnvironment(environment());
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(PLMVIEW_PATH, {});
        EXPECT_TRUE(p.waitForStarted(10000));
        return p;
    }

    // The running copy answers on its socket once its window is up.
    bool waitUntilRunning(QProcess& p) {
        const QString socket = plm::app::SingleInstance::socketPathFor(
            plm::app::kInstanceName, QString::fromStdString(home.path().string()));
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && p.state() == QProcess::Running) {
            QLocalSocket probe;
            probe.connectToServer(socket);
            if (probe.waitForConnected(200))
                return true;
            QThread::msleep(50);
        }
        return false;
    }

    int terminate(QProcess& p) {
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        EXPECT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        return p.exitCode();
    }

    std::string ini() const { return readFile(home.file("PLMView.INI")); }
    std::string log() const {
        std::string all;
        for (const char* name :
             {"PLMView0.LOG", "PLMView1.LOG", "PLMView2.LOG", "PLMView3.LOG", "PLMViewE.LOG"}) {
            if (std::filesystem::exists(home.file(name)))
                all += readFile(home.file(name));
        }
        return all;
    }

    TempDir home;
    std::vector<std::unique_ptr<QProcess>> running;
};

TEST_F(ProcessTest, FirstStartWritesBothProfilesAndNormalEndMarker) {
    QProcess& p = start();
    ASSERT_TRUE(waitUntilRunning(p));
    EXPECT_NE(ini().find("RunningNum=0"), std::string::npos) << "running";
    EXPECT_EQ(terminate(p), 0);

    const std::string main = ini();
    EXPECT_NE(main.find("RunningNum=15685"), std::string::npos);
    EXPECT_NE(main.find("Version=1.0.0.0"), std::string::npos);
    EXPECT_NE(main.find("DataFile=.\\DATA\\QBX.DAT"), std::string::npos);
    EXPECT_NE(main.find("main_Panes_0="), std::string::npos);
    EXPECT_NE(main.find("Placement="), std::string::npos);
    const std::string device = readFile(home.file("system.ini"));
    EXPECT_NE(device.find("DeviceType="), std::string::npos);
    EXPECT_NE(device.find("PrintTitle="), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(home.file("DATA/QBX.DAT"))) << "saved at exit";
    EXPECT_NE(log().find("Version 1.0.0.0"), std::string::npos);
    EXPECT_EQ(log().find(sj("前回異常終了")), std::string::npos);
}

// plmtool files measurements while PLMView runs; PLMView's exit keeps them.
TEST_F(ProcessTest, RecordsFiledByPlmtoolMeanwhileSurviveTheExit) {
    QProcess& p = start();
    ASSERT_TRUE(waitUntilRunning(p));
    QProcess tool;
    tool.setProcessEnvironment(environment());
    tool.start(
        PLMTOOL_PATH,
        {"register", QString::fromStdString(std::filesystem::absolute(dataPath("capture_two.txt"))),
         "Osaka", "Plant", "Close"});
    ASSERT_TRUE(tool.waitForFinished(30000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    EXPECT_EQ(terminate(p), 0);

    model::CustomerTree tree;
    ASSERT_TRUE(tree.load(home.file("DATA/QBX.DAT"), plm::app::guiErrorReporter()));
    const model::MeasurementName* name =
        model::findMeasurementName(tree, "Osaka", "Plant", "Close");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->records.count(), 2);
}

TEST_F(ProcessTest, SecondCopyHandsOverAndExitsWithoutTouchingFiles) {
    QProcess& first = start();
    ASSERT_TRUE(waitUntilRunning(first));
    const std::string mainBefore = ini();
    const std::string deviceBefore = readFile(home.file("system.ini"));

    QProcess& second = start();
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(ini(), mainBefore);
    EXPECT_EQ(readFile(home.file("system.ini")), deviceBefore);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(terminate(first), 0);
}

TEST_F(ProcessTest, KilledRunIsReportedAtTheNextStart) {
    QProcess& crashed = start();
    ASSERT_TRUE(waitUntilRunning(crashed));
    crashed.kill();
    ASSERT_TRUE(crashed.waitForFinished(10000));
    EXPECT_NE(ini().find("RunningNum=0"), std::string::npos);
    EXPECT_EQ(log().find(sj("前回異常終了")), std::string::npos);

    QProcess& next = start();
    ASSERT_TRUE(waitUntilRunning(next)) << "a leftover lock or socket must not block the start";
    EXPECT_NE(log().find(sj("前回異常終了")), std::string::npos);
    EXPECT_EQ(terminate(next), 0);
    EXPECT_NE(ini().find("RunningNum=15685"), std::string::npos);
}

// SIGTERM while the damaged-file message of the start-up is open: the message
// closes unanswered and the program ends as a close would, the damaged file
// kept byte for byte where the message said, what was read before the damage
// written as the new data file, and the log naming both.
TEST_F(ProcessTest, TerminationDuringTheDamagedFileMessageEndsAsACloseWould) {
    const std::string data = home.file("DATA/QBX.DAT");
    std::filesystem::create_directories(home.file("DATA"));
    ASSERT_TRUE(smallTree().save(data, plm::app::guiErrorReporter()));
    std::string damaged = readFile(data);
    damaged.resize(damaged.size() - 40);
    writeFile(data, damaged);

    QProcess& p = start();
    auto movedAside = [&]() -> std::string {
        for (const auto& entry : std::filesystem::directory_iterator(home.file("DATA")))
            if (entry.path().filename().string().rfind("QBX.DAT_", 0) == 0)
                return entry.path().string();
        return {};
    };
    QDeadlineTimer deadline(30000);
    while (movedAside().empty() && !deadline.hasExpired() && p.state() == QProcess::Running)
        QThread::msleep(20);
    ASSERT_FALSE(movedAside().empty());
    QThread::msleep(300);  // the message opens right after the move
    EXPECT_EQ(terminate(p), 0);

    EXPECT_EQ(readFile(movedAside()), damaged);
    EXPECT_NE(ini().find("RunningNum=15685"), std::string::npos) << "a normal end";
    const std::string logged = support::toUtf8(log());
    EXPECT_NE(logged.find("終了の要求により応答なしで閉じたメッセージ："), std::string::npos)
        << logged;
    EXPECT_NE(logged.find(std::filesystem::path(movedAside()).filename().string()),
              std::string::npos)
        << logged;
    model::CustomerTree saved;
    ASSERT_TRUE(saved.load(data, plm::app::guiErrorReporter())) << "written at the close";
}

}  // namespace
}  // namespace plm::test::app
