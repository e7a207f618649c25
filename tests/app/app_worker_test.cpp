// The data file is loaded and saved on a worker thread: the GUI thread keeps
// handling events meanwhile, asks the conflict question itself, and a close
// asked for in the middle happens once the job is done.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <string>

#include "app_fixture.h"
#include "model/shared_data_file.h"
#include "support/file_lock.h"
#include "ui/busy_scope.h"

namespace plm::test::app {
namespace {

using namespace std::chrono_literals;

// The data file locked by an open of its own, as another program holds it:
// a load or save waits until release(), which only the GUI thread can call.
class HeldLock {
  public:
    explicit HeldLock(const std::string& fsPath) : fd_(::open(fsPath.c_str(), O_RDWR)) {
        held_ = fd_ && ::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0;
    }
    bool held() const { return held_; }
    void release() { fd_.reset(); }

  private:
    support::UniqueFd fd_;
    bool held_ = false;
};

// A timer of the GUI thread that counts its ticks and the longest gap between them.
class TickWatch {
  public:
    TickWatch() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            ++ticks;
            longestMs = std::max(longestMs, since_.restart());
        });
        since_.start();
        timer_.start(10);
    }
    int ticks = 0;
    qint64 longestMs = 0;

  private:
    QTimer timer_;
    QElapsedTimer since_;
};

constexpr int kRecords = 2000;

model::CustomerTree largeTree() {
    model::CustomerTree tree = smallTree();
    model::MeasurementName& n = model::findOrAddMeasurementName(tree, "Osaka", "Plant", "Many");
    for (int i = 0; i < kRecords; ++i)
        n.records.add(record(1 + i % 28, i % 24));
    return tree;
}

int recordsOf(const model::CustomerTree& tree, const char* customer, const char* circuit,
              const char* name) {
    const model::MeasurementName* n = model::findMeasurementName(tree, customer, circuit, name);
    return n ? n->records.count() : -1;
}

class WorkerTest : public AppWindow {
  protected:
    model::CustomerTree onDisk() {
        model::CustomerTree tree;
        EXPECT_TRUE(tree.load(settings().dataFilePath(), plm::app::guiErrorReporter()));
        return tree;
    }
};

// Another program holds the file for a while at the start of each job; the
// GUI thread itself lets go of it, so a job that blocked the GUI thread
// would wait for it in vain.
TEST_F(WorkerTest, GuiThreadKeepsHandlingEventsWhileALargeFileLoadsAndSaves) {
    ASSERT_TRUE(largeTree().save(settings().dataFilePath(), plm::app::guiErrorReporter()));
    {
        HeldLock lock(dataFile());
        ASSERT_TRUE(lock.held());
        QTimer::singleShot(500ms, [&] { lock.release(); });
        const TickWatch watch;
        openWindow();
        EXPECT_EQ(recordsOf(doc->tree(), "Osaka", "Plant", "Many"), kRecords);
        EXPECT_GE(watch.ticks, 20) << "the load";
        EXPECT_LT(watch.longestMs, 400) << "the load";
    }
    {
        model::CustomerTree changed = doc->workingCopy();
        changed.customers.findOrAdd("Nagoya");
        HeldLock lock(dataFile());
        ASSERT_TRUE(lock.held());
        QTimer::singleShot(500ms, [&] { lock.release(); });
        const TickWatch watch;
        EXPECT_TRUE(doc->commitRestored(std::move(changed)));
        EXPECT_GE(watch.ticks, 20) << "the save";
        EXPECT_LT(watch.longestMs, 400) << "the save";
    }
    const model::CustomerTree saved = onDisk();
    EXPECT_NE(saved.customers.find("Nagoya"), -1);
    EXPECT_EQ(recordsOf(saved, "Osaka", "Plant", "Many"), kRecords);
}

TEST_F(WorkerTest, ConflictIsAskedOnTheGuiThreadWhileTheSaveWaits) {
    struct NotingPrompter : ScriptedPrompter {
        bool askYesNo(const std::string& text, ui::Answer byDefault) override {
            askedOn = QThread::currentThread();
            duringJob = ui::BusyScope::active();
            return ScriptedPrompter::askYesNo(text, byDefault);
        }
        QThread* askedOn = nullptr;
        bool duringJob = false;
    } noting;
    const ui::ScopedPrompter scopedNoting(noting);
    ASSERT_TRUE(smallTree().save(settings().dataFilePath(), plm::app::guiErrorReporter()));
    openWindow();
    auto comment = [](auto& t) -> auto& {
        return model::findMeasurementName(t, "Tokyo Works", "Line 1", "Close")
            ->records.at(0)
            .cond.comment;
    };
    model::SharedDataFile other(settings().dataFilePath());
    ASSERT_TRUE(other.update([&](model::CustomerTree& t) { comment(t) = "theirs"; },
                             plm::app::guiErrorReporter()));
    model::CustomerTree mine = doc->workingCopy();
    comment(mine) = "mine";
    noting.queueYes();  // keep this side

    EXPECT_TRUE(doc->commitRestored(std::move(mine)));
    ASSERT_EQ(noting.texts().size(), 1u);
    EXPECT_EQ(noting.askedOn, QCoreApplication::instance()->thread());
    EXPECT_TRUE(noting.duringJob);
    model::CustomerTree saved = onDisk();
    EXPECT_EQ(comment(saved), "mine");
    EXPECT_EQ(comment(doc->tree()), "mine");
}

// The main window refuses to close while a job runs; it closes, saving,
// once the job is done, and nothing of the tree is lost.
TEST_F(WorkerTest, ClosingTheWindowWhileASaveRunsClosesItAfterwards) {
    ASSERT_TRUE(smallTree().save(settings().dataFilePath(), plm::app::guiErrorReporter()));
    openWindow();
    frame->show();
    model::CustomerTree changed = doc->workingCopy();
    changed.customers.findOrAdd("Nagoya");
    HeldLock lock(dataFile());
    ASSERT_TRUE(lock.held());
    QTimer::singleShot(100ms, [&] { frame->close(); });
    QTimer::singleShot(400ms, [&] { lock.release(); });
    EXPECT_TRUE(doc->commitRestored(std::move(changed)));
    EXPECT_TRUE(frame->isVisible()) << "closed in the middle of the save";

    QDeadlineTimer deadline(5000);
    while (frame->isVisible() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_NE(onDisk().customers.find("Nagoya"), -1);
}

}  // namespace
}  // namespace plm::test::app
