#include "ui/busy_scope.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <exception>
#include <thread>

#include "chart/qt_text.h"

namespace plm::ui {
namespace {

// Often enough for a moving bar, seldom enough to cost the job nothing.
constexpr qint64 kPaintIntervalMs = 50;
constexpr int kSteps = 1000;

// What the GUI thread handles while a job runs: no input, and no socket
// notifier (a signal that closes the window) may start another job inside it.
constexpr QEventLoop::ProcessEventsFlags kWhileBusy =
    QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers;

bool onGuiThreadNow() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// The top-level windows asked to close while a job runs: the main window
// refuses while a scope is active, and is asked again once the job is done,
// so that closing it (by the user or a signal) is not lost.
class CloseRequests : public QObject {
  public:
    CloseRequests() { QCoreApplication::instance()->installEventFilter(this); }
    ~CloseRequests() override {
        QCoreApplication::instance()->removeEventFilter(this);
        for (const QPointer<QWidget>& window : asked_) {
            if (window)
                QMetaObject::invokeMethod(
                    window.data(),
                    [window] {
                        if (window && window->isVisible())
                            window->close();
                    },
                    Qt::QueuedConnection);
        }
    }
    CloseRequests(const CloseRequests&) = delete;
    CloseRequests& operator=(const CloseRequests&) = delete;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow() && !widget->parentWidget() &&
                !qobject_cast<QProgressDialog*>(widget) && !asked_.contains(widget))
                asked_.push_back(widget);
        }
        return false;
    }

  private:
    QList<QPointer<QWidget>> asked_;
};

}  // namespace

BusyScope::BusyScope(QString text, QWidget* parent, std::chrono::milliseconds delay)
    : text_(std::move(text)),
      parent_(parent),
      delay_(delay),
      self_(std::make_shared<BusyScope*>(this)),
      notice_(lockWaitNotice()) {
    ++active_;
    setWaitCursor();
    running_.start();
}

BusyScope::~BusyScope() {
    --active_;
    restoreCursor();
    if (window_)
        window_->close();
}

void BusyScope::setWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void BusyScope::restoreCursor() {
    QApplication::restoreOverrideCursor();
}

void BusyScope::openWindow() {
    // Not modal: a modal progress window would handle every pending event
    // on each step, the user's clicks included, in the middle of the job.
    window_ = std::make_unique<QProgressDialog>(text_, QString(), 0, kSteps, parent_);
    window_->setWindowModality(Qt::NonModal);
    window_->setCancelButton(nullptr);
    window_->setAutoClose(false);
    window_->setAutoReset(false);
    window_->setMinimumDuration(0);
    window_->setMinimumWidth(320);
    window_->show();
}

void BusyScope::paint() {
    QApplication::processEvents(kWhileBusy);
    sincePaint_.start();
}

bool BusyScope::show(uint64_t done, uint64_t total) {
    if (!window_) {
        if (running_.elapsed() < delay_.count())
            return false;
        openWindow();
    }
    if (total == 0) {
        window_->setRange(0, 0);  // a moving bar
    } else {
        window_->setRange(0, kSteps);
        window_->setValue(static_cast<int>(std::min(done, total) * kSteps / total));
    }
    return true;
}

void BusyScope::step(uint64_t done, uint64_t total) {
    if (!onGuiThreadNow()) {
        workerDone_.store(done, std::memory_order_relaxed);
        workerTotal_.store(total, std::memory_order_relaxed);
        workerStepped_.store(true, std::memory_order_release);
        return;
    }
    if (window_ && sincePaint_.isValid() && sincePaint_.elapsed() < kPaintIntervalMs)
        return;
    if (show(done, total))
        paint();
}

void BusyScope::showWorkerProgress() {
    if (workerStepped_.exchange(false, std::memory_order_acquire))
        show(workerDone_.load(std::memory_order_relaxed),
             workerTotal_.load(std::memory_order_relaxed));
}

void BusyScope::run(const std::function<void()>& job) {
    QEventLoop loop;
    std::atomic<bool> ended{false};
    std::exception_ptr failure;
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, [this] { showWorkerProgress(); });
    repaint.start(static_cast<int>(kPaintIntervalMs));
    const CloseRequests closes;
    looping_ = true;
    {
        const std::jthread worker([&] {
            try {
                job();
            } catch (...) {
                failure = std::current_exception();
            }
            ended.store(true, std::memory_order_release);
            QMetaObject::invokeMethod(
                &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
        });
        loop.exec(kWhileBusy);
        // The application quitting ends every event loop at once; the job
        // still finishes, its questions answered, before what it uses goes.
        while (!ended.load(std::memory_order_acquire))
            QCoreApplication::processEvents(kWhileBusy | QEventLoop::WaitForMoreEvents);
    }
    looping_ = false;
    if (failure)
        std::rethrow_exception(failure);
}

void BusyScope::onGuiThread(const std::function<void()>& fn) {
    if (onGuiThreadNow()) {
        fn();
        return;
    }
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&] {
            try {
                fn();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure)
        std::rethrow_exception(failure);
}

void BusyScope::showLockWait(const QString& notice) {
    if (!window_)
        openWindow();
    window_->setLabelText(text_.isEmpty() ? notice : text_ + QStringLiteral("\n\n") + notice);
    window_->setRange(0, 0);  // how long the other program takes is not known
    if (!looping_)
        paint();
}

support::LongWaitNotice BusyScope::lockWaitNotice() {
    return [self = std::weak_ptr<BusyScope*>(self_), thread = QThread::currentThread()](
               const std::string& fsPath, std::chrono::milliseconds limit) {
        const QString notice = qs(support::longWaitText(fsPath, limit));
        auto show = [self, notice] {
            if (const std::shared_ptr<BusyScope*> scope = self.lock())
                (*scope)->showLockWait(notice);
        };
        if (QThread::currentThread() == thread)
            show();
        else
            QMetaObject::invokeMethod(qApp, show, Qt::QueuedConnection);
    };
}

}  // namespace plm::ui
