#include "ui/busy_scope.h"

#include <QApplication>
#include <QProgressDialog>
#include <QThread>

#include "chart/qt_text.h"

namespace plm::ui {
namespace {

// Often enough for a moving bar, seldom enough to cost the job nothing.
constexpr qint64 kPaintIntervalMs = 50;
constexpr int kSteps = 1000;

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
    // Paint, and nothing else: no input, and no socket notifier (a signal
    // that closes the window) may start another job inside this one.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                QEventLoop::ExcludeSocketNotifiers);
    sincePaint_.start();
}

void BusyScope::step(uint64_t done, uint64_t total) {
    if (!window_) {
        if (running_.elapsed() < delay_.count())
            return;
        openWindow();
    } else if (sincePaint_.isValid() && sincePaint_.elapsed() < kPaintIntervalMs) {
        return;
    }
    if (total == 0) {
        window_->setRange(0, 0);  // a moving bar
    } else {
        window_->setRange(0, kSteps);
        window_->setValue(static_cast<int>(std::min(done, total) * kSteps / total));
    }
    paint();
}

void BusyScope::showLockWait(const QString& notice) {
    if (!window_)
        openWindow();
    window_->setLabelText(text_.isEmpty() ? notice : text_ + QStringLiteral("\n\n") + notice);
    window_->setRange(0, 0);  // how long the other program takes is not known
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
