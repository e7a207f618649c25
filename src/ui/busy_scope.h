#pragma once

#include <QElapsedTimer>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>

#include "model/error_reporter.h"
#include "support/file_lock.h"

class QProgressDialog;
class QWidget;

namespace plm::ui {

// Tells the user that the GUI thread is working on something long (loading
// or saving a large data file, copying the tree): the wait cursor from
// construction to destruction and, once the job has run longer than `delay`,
// a progress window with `text`. The job calls step() now and then; that
// also repaints, so the window stays drawn while the job runs. While the
// scope lives, a wait of longer than a second for a file that another
// program holds says so in the window, with the path.
class BusyScope {
  public:
    explicit BusyScope(QString text, QWidget* parent = nullptr,
                       std::chrono::milliseconds delay = std::chrono::seconds(1));
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

    // `done` of `total` units; a total of 0 means the length is not known.
    void step(uint64_t done, uint64_t total);

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
    void paint();
    void showLockWait(const QString& notice);
    support::LongWaitNotice lockWaitNotice();

    QString text_;
    QWidget* parent_;
    std::chrono::milliseconds delay_;
    QElapsedTimer running_;
    QElapsedTimer sincePaint_;
    std::unique_ptr<QProgressDialog> window_;
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

// A reporter for a load or save under a BusyScope: messages go on to
// `inner` with the normal cursor, progress moves the scope.
class BusyReporter : public model::ErrorReporter {
  public:
    BusyReporter(model::ErrorReporter& inner, BusyScope& scope) : inner_(inner), scope_(scope) {}
    void report(const std::string& text, model::MessageIcon icon) override {
        scope_.withNormalCursor([&] { inner_.report(text, icon); });
    }
    void fileProgress(uint64_t done, uint64_t total) override { scope_.step(done, total); }

  private:
    model::ErrorReporter& inner_;
    BusyScope& scope_;
};

}  // namespace plm::ui
