#include "ui/busy_scope.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app_fixture.h"
#include "chart/qt_text.h"
#include "support/file_lock.h"

namespace plm::ui {
namespace {

using namespace std::chrono_literals;

bool waitCursorShows() {
    const QCursor* cursor = QApplication::overrideCursor();
    return cursor && cursor->shape() == Qt::WaitCursor;
}

TEST(BusyScope, WaitCursorAtOnceProgressWindowOnlyPastTheDelay) {
    test::app::ensureApplication();
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    {
        BusyScope quick(QStringLiteral("quick"));
        EXPECT_TRUE(waitCursorShows());
        quick.step(1, 2);
        EXPECT_EQ(quick.window(), nullptr);  // a short job shows the cursor only
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    QPointer<QProgressDialog> shown;
    {
        BusyScope slow(QStringLiteral("loading"), nullptr, 0ms);
        slow.step(250, 1000);
        ASSERT_NE(slow.window(), nullptr);
        shown = slow.window();
        EXPECT_TRUE(shown->isVisible());
        EXPECT_EQ(shown->labelText(), QStringLiteral("loading"));
        EXPECT_EQ(shown->value() * 4, shown->maximum());
        std::this_thread::sleep_for(60ms);  // past the repaint interval
        slow.step(7, 0);                    // a length not known: a moving bar
        EXPECT_EQ(shown->maximum(), 0);
    }
    EXPECT_TRUE(shown.isNull());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(BusyScope, MessagesShowWithTheNormalCursorAndProgressMovesTheScope) {
    test::app::ensureApplication();
    struct Inner : model::ErrorReporter {
        std::vector<bool> waitCursorAtReport;
        void report(const std::string&, model::MessageIcon) override {
            waitCursorAtReport.push_back(waitCursorShows());
        }
    } inner;
    BusyScope scope(QStringLiteral("saving"), nullptr, 0ms);
    BusyReporter reporter(inner, scope);
    reporter.report("x", model::MessageIcon::Plain);
    EXPECT_EQ(inner.waitCursorAtReport, std::vector<bool>{false});
    EXPECT_TRUE(waitCursorShows());
    reporter.fileProgress(10, 0);
    ASSERT_NE(scope.window(), nullptr);
    EXPECT_EQ(scope.window()->maximum(), 0);
}

// The scope installs its notice for its lifetime only; a nested scope puts
// the outer one's back.
TEST(BusyScope, LockWaitNoticeShowsInTheWindowWhileTheScopeLives) {
    test::app::ensureApplication();
    auto installed = [] {
        support::LongWaitNotice notice = support::setLongWaitNotice({});
        support::setLongWaitNotice(notice);
        return notice;
    };
    int before = 0;
    const support::ScopedLongWaitNotice outer(
        [&](const std::string&, std::chrono::milliseconds) { ++before; });
    {
        BusyScope saving(QStringLiteral("saving"));
        { BusyScope nested{QString()}; }
        installed()("/data/QBX.DAT", 60s);
        ASSERT_NE(saving.window(), nullptr) << "the notice shows the window before the delay";
        EXPECT_EQ(saving.window()->labelText(),
                  QStringLiteral("saving\n\n") + qs(support::longWaitText("/data/QBX.DAT", 60s)));
    }
    EXPECT_EQ(before, 0);
    installed()("/data/QBX.DAT", 60s);
    EXPECT_EQ(before, 1);
}

// The job works on a thread of its own; the GUI thread meanwhile handles its
// timers, shows the job's progress and runs what the job hands back to it.
TEST(BusyScope, RunWorksOnAnotherThreadWhileTheGuiThreadKeepsItsLoop) {
    test::app::ensureApplication();
    QThread* const gui = QThread::currentThread();
    BusyScope scope(QStringLiteral("loading"), nullptr, 0ms);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    QThread* jobThread = nullptr;
    QThread* askedOn = nullptr;
    bool waitCursorWhenAsked = true;
    scope.run([&] {
        jobThread = QThread::currentThread();
        scope.step(1, 2);
        BusyScope::onGuiThread([&] {
            askedOn = QThread::currentThread();
            scope.withNormalCursor([&] { waitCursorWhenAsked = waitCursorShows(); });
        });
        std::this_thread::sleep_for(200ms);
    });
    EXPECT_NE(jobThread, gui);
    EXPECT_EQ(askedOn, gui);
    EXPECT_FALSE(waitCursorWhenAsked);
    EXPECT_TRUE(waitCursorShows());
    EXPECT_GE(ticks, 5) << "the GUI thread's timer ran while the job slept";
    ASSERT_NE(scope.window(), nullptr);
    EXPECT_EQ(scope.window()->value() * 2, scope.window()->maximum());

    EXPECT_THROW(scope.run([] { throw std::runtime_error("job"); }), std::runtime_error);
    EXPECT_THROW(scope.run([] { BusyScope::onGuiThread([] { throw std::logic_error("gui"); }); }),
                 std::logic_error);
}

}  // namespace
}  // namespace plm::ui
