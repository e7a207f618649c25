#include "app/transfer/receive_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <chrono>
#include <memory>
#include <thread>

#include "app/shell/app_context.h"
#include "chart/qt_text.h"
#include "link/transfer_run.h"
#include "ui/activity_indicator.h"

namespace plm::app {

using support::sj;

CCommRead::CCommRead(const model::LineSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setWindowTitle(qsj("データの受信"));
    QFont face(QStringLiteral("IPAPGothic"));
    face.setPointSize(9);
    setFont(face);

    status_ = new QLabel(qsj("スタティック"), this);
    activity_ = new ui::ActivityIndicator(this);
    list_ = new QListWidget(this);
    list_->setSortingEnabled(false);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    collected_ = new QCheckBox(qsj("収集データを表示する"), this);
    auto* note = new QLabel(qsj("（このチェックを外すと受信時間が若干短縮出来ます)"), this);
    cancel_ = new QPushButton(qsj("中断／戻る"), this);
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &CCommRead::reject);
    connect(collected_, &QCheckBox::toggled, this, [this](bool on) { showCollected_ = on; });

    auto* top = new QHBoxLayout;
    top->addWidget(activity_);
    top->addWidget(status_, 1);
    top->addWidget(cancel_, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(list_, 1);
    layout->addWidget(collected_);
    layout->addWidget(note);
    resize(480, 360);
}

CCommRead::~CCommRead() {
    // The thread must not outlive the window it reports to.
    run_.reset();
}

void CCommRead::setFile(const std::string& storedPath) {
    fileMode_ = true;
    file_ = storedPath;
}

bool CCommRead::animating() const {
    return activity_->running();
}

bool CCommRead::running() const {
    return run_ && !run_->finished();
}

void CCommRead::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_)
        return;
    started_ = true;
    startTransfer();
}

void CCommRead::startTransfer() {
    activity_->start();
    showCollected_ = true;
    results_.clear();
    collected_->setChecked(showCollected_);

    link::TransferSetup setup = link::TransferSetup::fromSettings(appSettings(), settings_);
    if (fileMode_)
        setup.filePath = file_;
    setup.device = device_;
    commLog_ = setup.commLog;
    run_ = std::make_unique<link::TransferRun>(std::move(setup));
    // Notifications cross to this thread as queued calls; one call drains
    // whatever has piled up by then.
    run_->setNotifyHandler(
        [this] { QMetaObject::invokeMethod(this, &CCommRead::drain, Qt::QueuedConnection); });
    run_->start();
}

void CCommRead::drain() {
    while (run_) {
        std::optional<link::TransferNotify> notify = run_->poll();
        if (!notify)
            return;
        handle(*notify);
    }
}

void CCommRead::handle(const link::TransferNotify& notify) {
    switch (notify.kind) {
        case link::NotifyKind::Progress:
        case link::NotifyKind::Error:
            link::logNotify(notify, commLog_);
            addLine(notify.text);
            status_->setText(qs(notify.text));
            break;
        case link::NotifyKind::Ended:
            activity_->stop();
            cancel_->setEnabled(false);
            // During a stop the cancel path ends the dialog itself, last.
            if (stopping_)
                return;
            StopTransfer();
            results_ = run_->takeResults();
            QDialog::accept();
            break;
        case link::NotifyKind::Failed:
            activity_->stop();
            status_->setText(qsj("受信処理で問題が発生しました"));
            break;
    }
}

// Each line carries its own size, measured once: the list may hold tens of
// thousands of lines and lays them all out again as lines arrive. One size
// for all lines, taken from the first (a short progress text), would cut the
// long hexadecimal block lines.
void CCommRead::addLine(const std::string& text) {
    if (list_->count() > MaxLines)
        std::unique_ptr<QListWidgetItem>(list_->takeItem(0));
    constexpr int kMargins = 16;
    auto* item = new QListWidgetItem(qs(text));
    const QFontMetrics metrics = list_->fontMetrics();
    item->setSizeHint(
        QSize(metrics.horizontalAdvance(item->text()) + kMargins, metrics.height() + kMargins / 4));
    list_->addItem(item);
    list_->setCurrentRow(list_->count() - 1);
}

void CCommRead::StopTransfer() {
    if (run_ && !run_->finished()) {
        stopping_ = true;
        setEnabled(false);
        run_->requestStop();
        while (!run_->finished()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        drain();
        setEnabled(true);
        stopping_ = false;
    }
    if (run_)
        run_->wait();
}

void CCommRead::reject() {
    StopTransfer();
    activity_->stop();
    results_.clear();
    QDialog::reject();
}

void CCommRead::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace plm::app
