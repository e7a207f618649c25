#pragma once

#include <QElapsedTimer>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "model/error_reporter.h"
#include "support/file_lock.h"

class QProgressDialog;
class QWidget;

namespace plm::ui {

// Tells the user that the program is working on something long (loading or
// saving a large data file, copying the tree): the wait cursor from
// construction to destruction and, once the job has run longer than `delay`,
// a progress window with `text`. A job on the GUI thread calls step() now and
// then; that also repaints, so the window stays drawn while the job runs. A
// job given to run() works on a thread of its own while the GUI thread keeps
// its event loop. While the scope lives, a wait of longer than a second for a
// file that another program holds says so in the window, with the path.
class BusyScope {
  public:
    explicit BusyScope(QString text, QWidget* parent = nullptr,
                       std::chrono::milliseconds delay = std::chrono::seconds(1));
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

    // `done` of `total` units; a total of 0 means the length is not known.
    // From the job of run(), on its own thread: the window shows it at its
    // next repaint.
    void step(uint64_t done, uint64_t total);

    // Runs `job` on a worker thread and returns when it has ended; an
    // exception of the job is thrown here. Meanwhile the GUI thread runs an
    // event loop that paints and handles timers but holds back input and
    // socket notifiers (a signal that closes the window), so no other job
    // starts inside this one. A top-level window that is asked to close
    // meanwhile is asked again once the job is done. Called on the GUI thread.
    void run(const std::function<void()>& job);

    // Runs `fn` on the GUI thread: at once there, else the calling thread
    // waits until it has run (a question from the job of run()). An exception
    // of `fn` is thrown in the calling thread.
    static void onGuiThread(const std::function<void()>& fn);

    // The progress window, once it shows.
    QProgressDialog* window() const { return window_.get(); }

    // Whether a job is running under a BusyScope. The repaints let window
    // events through (closing the main window, for one); whoever would start
    // another long job on such an event refuses it while this is true.
    static bool active() { return active_ > 0; }

    // The normal cursor while `show` runs (a message box in the middle of the job).
    template <class Fn>
    void withNormalCursor(Fn&& show);

  private:
    void restoreCursor();
    void setWaitCursor();
    void openWindow();
    // Opens or moves the window; false while the delay has not passed.
    bool show(uint64_t done, uint64_t total);
    void showWorkerProgress();
    void paint();
    void showLockWait(const QString& notice);
    support::LongWaitNotice lockWaitNotice();

    QString text_;
    QWidget* parent_;
    std::chrono::milliseconds delay_;
    QElapsedTimer running_;
    QElapsedTimer sincePaint_;
    std::unique_ptr<QProgressDialog> window_;
    // What the job of run() reported last, for the GUI thread to show.
    std::atomic<uint64_t> workerDone_{0};
    std::atomic<uint64_t> workerTotal_{0};
    std::atomic<bool> workerStepped_{false};
    bool looping_ = false;  // run() keeps the event loop going: no repaint by hand
    // Reached by the notice while the scope lives; a wait on another thread
    // posts its notice, which then finds the scope gone or here.
    std::shared_ptr<BusyScope*> self_;
    support::ScopedLongWaitNotice notice_;
    static inline int active_ = 0;
};

template <class Fn>
void BusyScope::withNormalCursor(Fn&& show) {
    restoreCursor();
    show();
    setWaitCursor();
}

// A reporter for a load or save under a BusyScope, also from the job of
// BusyScope::run(): messages go on to `inner` on the GUI thread with the
// normal cursor, progress moves the scope.
class BusyReporter : public model::ErrorReporter {
  public:
    BusyReporter(model::ErrorReporter& inner, BusyScope& scope) : inner_(inner), scope_(scope) {}
    void report(const std::string& text, model::MessageIcon icon) override {
        BusyScope::onGuiThread(
            [&] { scope_.withNormalCursor([&] { inner_.report(text, icon); }); });
    }
    void fileProgress(uint64_t done, uint64_t total) override { scope_.step(done, total); }

  private:
    model::ErrorReporter& inner_;
    BusyScope& scope_;
};

}  // namespace plm::ui
