#include "app/transfer/receive_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "app/shell/app_context.h"
#include "chart/qt_text.h"
#include "link/transfer_run.h"
#include "support/text_codec.h"
#include "ui/activity_indicator.h"

namespace plm::app {

using support::sj;

CCommRead::CCommRead(const settings::AppSettings& program, const model::LineSettings& settings,
                     QWidget* parent)
    : QDialog(parent), program_(program), settings_(settings) {
    setWindowTitle(qsj("データの受信"));
    QFont face(QStringLiteral("IPAPGothic"));
    face.setPointSize(9);
    setFont(face);

    // Empty until the first status text: any text there would read as a status.
    status_ = new QLabel(this);
    activity_ = new ui::ActivityIndicator(this);
    list_ = new QListWidget(this);
    list_->setSortingEnabled(false);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    collected_ = new QCheckBox(qsj("収集データを表示する"), this);
    connect(collected_, &QCheckBox::clicked, this,
            [this](bool checked) { showCollected_ = checked; });
    auto* note = new QLabel(qsj("（このチェックを外すと受信時間が若干短縮出来ます)"), this);
    cancel_ = new QPushButton(qsj("中断／戻る"), this);
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &CCommRead::reject);

    bar_ = new QProgressBar(this);
    bar_->setRange(0, 1);
    bar_->setValue(0);
    figures_ = new QLabel(this);
    figures_->setWordWrap(true);
    journal_ = new QLabel(this);
    journal_->setWordWrap(true);
    journal_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    silenceTimer_ = new QTimer(this);
    silenceTimer_->setInterval(250);
    connect(silenceTimer_, &QTimer::timeout, this, &CCommRead::showSilence);
    auto* side = new QVBoxLayout;
    side->addWidget(bar_);
    side->addWidget(figures_);
    side->addStretch(1);
    side->addWidget(journal_);

    auto* top = new QHBoxLayout;
    top->addWidget(activity_);
    top->addWidget(status_, 1);
    top->addWidget(cancel_, 0, Qt::AlignTop);
    auto* middle = new QHBoxLayout;
    middle->addWidget(list_, 3);
    middle->addLayout(side, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addWidget(collected_);
    layout->addWidget(note);
    resize(720, 360);
}

CCommRead::~CCommRead() {
    // The thread must not outlive the window it reports to.
    run_.reset();
}

void CCommRead::setFile(const std::string& storedPath) {
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
    if (phase_ == Phase::NotStarted)
        startTransfer();
}

void CCommRead::startTransfer() {
    phase_ = Phase::Receiving;
    activity_->start();
    results_.clear();
    showCollected_ = true;
    collected_->setChecked(true);

    link::TransferSetup setup = link::TransferSetup::fromSettings(program_, settings_);
    if (file_)
        setup.filePath = *file_;
    setup.device = device_;
    commLog_ = setup.commLog;
    setup.silenceShown = silenceShown_;
    run_ = std::make_unique<link::TransferRun>(std::move(setup));
    // Notifications cross to this thread as queued calls; one call drains
    // whatever has piled up by then.
    run_->setNotifyHandler(
        [this] { QMetaObject::invokeMethod(this, &CCommRead::drain, Qt::QueuedConnection); });
    run_->start();
    silenceTimer_->start();
    if (!run_->journalPath().empty())
        journal_->setText(qs(link::journalNotice(run_->journalPath())));
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
            if (showCollected_ || !notify.perBlock)
                addLine(notify.text);
            status_->setText(qs(notify.text));
            break;
        case link::NotifyKind::Ended:
            silenceTimer_->stop();
            activity_->stop();
            cancel_->setEnabled(false);
            // During a stop the cancel path ends the dialog itself, last.
            if (phase_ == Phase::Stopping)
                return;
            phase_ = Phase::Ended;
            StopTransfer();
            results_ = run_->takeResults();
            QDialog::accept();
            break;
        case link::NotifyKind::Failed:
            phase_ = Phase::Ended;
            silenceTimer_->stop();
            activity_->stop();
            status_->setText(qsj("受信処理で問題が発生しました"));
            // A transfer that received nothing leaves no journal file to point to.
            if (!run_->journalPath().empty() &&
                !QFileInfo::exists(QString::fromStdString(run_->journalPath())))
                journal_->clear();
            keepInterrupted();
            break;
        case link::NotifyKind::Figures:
            showFigures(notify.figures);
            break;
    }
}

void CCommRead::showFigures(const link::TransferFigures& figures) {
    const link::MeasurementProgress& m = figures.measurement;
    // The bar counts bytes of one measurement, which a 32-bit range always holds.
    bar_->setRange(0, static_cast<int>(std::max<int64_t>(m.announced, 1)));
    bar_->setValue(static_cast<int>(std::min(m.received, m.announced)));
    std::string text = link::measurementText(m) + "\n" + link::figuresText(figures);
    // The line is waited for without a timeout: the user is the one to give up.
    if (figures.silent())
        text += "\n" + sj("中止するには「中断／戻る」を押してください");
    figures_->setText(qs(text));
}

void CCommRead::showSilence() {
    if (phase_ != Phase::Receiving || !run_)
        return;
    if (const auto silent = run_->silentFigures(std::chrono::steady_clock::now()))
        showFigures(*silent);
}

void CCommRead::keepInterrupted() {
    if (!run_ || !run_->finished() || !interrupted_.empty())
        return;
    interrupted_ = run_->takeReceived().records;
    if (interrupted_.empty())
        return;
    figures_->setText(qs(support::format(
        sj("転送は中断されました。完全に受信した測定データ %d 件を転送リストに表示します").c_str(),
        static_cast<int>(interrupted_.size()))));
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
        phase_ = Phase::Stopping;
        setEnabled(false);
        run_->requestStop();
        while (!run_->finished()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        drain();
        setEnabled(true);
        phase_ = Phase::Ended;
    }
    if (run_)
        run_->wait();
}

void CCommRead::reject() {
    silenceTimer_->stop();
    StopTransfer();
    activity_->stop();
    results_.clear();
    keepInterrupted();
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
