#include "app/archive/archive_commands.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScopedValueRollback>
#include <QStatusBar>

#include "app/archive/archive_settings_dialog.h"
#include "app/archive/archive_sync_run.h"
#include "app/browser/measurement_browser.h"
#include "app/document/plm_view_doc.h"
#include "archive/archive_sync.h"
#include "chart/qt_text.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"
#include "ui/busy_scope.h"
#include "ui/prompter.h"

namespace plm::app {

namespace {

using support::format;
using support::sj;

constexpr int kStatusMs = 10000;

QMenu* menuTitled(QMainWindow& frame, const char* title) {
    for (QMenu* menu : frame.menuBar()->findChildren<QMenu*>()) {
        if (menu->title() == qsj(title))
            return menu;
    }
    return nullptr;
}

std::string doneText(const archive::SyncReport& report) {
    if (report.cancelled) {
        return format(sj("アーカイブとの同期を中止しました（送信 %d件　受信 %d件）。"
                         "次の同期で続きから行います")
                          .c_str(),
                      report.pushed(), report.pulled());
    }
    return format(sj("アーカイブと同期しました（送信 %d件　受信 %d件）").c_str(), report.pushed(),
                  report.pulled());
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

}  // namespace

ArchiveCommands::ArchiveCommands(QMainWindow& frame, MeasurementBrowser& browser, CPLMViewDoc& doc,
                                 settings::AppSettings& settings)
    : QObject(&frame), frame_(frame), browser_(browser), doc_(doc), settings_(settings) {
    setObjectName("archiveCommands");
    addActions();
    pane_ = new QLabel(frame.statusBar());
    pane_->setObjectName("paneArchive");
    pane_->setToolTip(qsj("アーカイブとの最後の同期と、まだアーカイブにない測定データの件数"));
    frame.statusBar()->insertPermanentWidget(0, pane_);
    // After the browser has read the changed tree: load, save, merge, sync.
    connect(&doc_, &CPLMViewDoc::treeChanged, this, &ArchiveCommands::refresh);
    connect(&timer_, &QTimer::timeout, this, &ArchiveCommands::onTimer);
    frame.installEventFilter(this);
    // A server behind a firewall that drops the packets would keep a sync
    // (or the connection test) waiting for minutes before the system gives
    // up, and 中止 cannot cut a connect short: libpq gives up sooner.
    if (!qEnvironmentVariableIsSet("PGCONNECT_TIMEOUT"))
        qputenv("PGCONNECT_TIMEOUT", QByteArrayLiteral("15"));
    refresh();
    restartTimer();
}

void ArchiveCommands::addActions() {
    auto* sync = new QAction(qsj("アーカイブと同期(&Y)"), &frame_);
    sync->setObjectName("cmdArchiveSync");
    sync->setStatusTip(qsj("測定データをチームのアーカイブと送受信します"));
    connect(sync, &QAction::triggered, this, [this] { OnSync(); });
    if (QMenu* file = menuTitled(frame_, "ファイル(&F)")) {
        // At the end of the import and export group, before its separator.
        const QList<QAction*> actions = file->actions();
        const auto separator = std::find_if(actions.begin(), actions.end(),
                                            [](QAction* a) { return a->isSeparator(); });
        file->insertAction(separator == actions.end() ? nullptr : *separator, sync);
    }
    auto* settings = new QAction(qsj("アーカイブ設定(&A)..."), &frame_);
    settings->setObjectName("cmdArchiveSettings");
    settings->setStatusTip(qsj("チームのアーカイブへの接続を設定します"));
    connect(settings, &QAction::triggered, this, &ArchiveCommands::OnSettings);
    if (QMenu* menu = menuTitled(frame_, "設定(&S)"))
        menu->addAction(settings);
}

void ArchiveCommands::tell(const std::string& text) {
    frame_.statusBar()->showMessage(qs(text), kStatusMs);
}

bool ArchiveCommands::OnSync(bool automatic) {
    if (syncing_ || ui::BusyScope::active())
        return false;
    archive::SyncSetup setup;
    try {
        setup = archive::syncSetup(settings_, settings_.dataFile);
    } catch (const CxException& e) {
        if (!automatic)
            ui::prompter().information(e.text());
        return false;
    }
    const QScopedValueRollback guard(syncing_, true);
    // The sync reads the data file: what this tree holds goes there first.
    if (!doc_.SaveData())
        return false;
    const ArchiveSyncResult result = runArchiveSync(setup, &frame_, started_);
    if (!result.ok) {
        tell(sj("アーカイブと同期できませんでした。データは変更していません：") +
             firstLine(result.error));
        if (!automatic)
            ui::prompter().information(sj("アーカイブと同期できませんでした\n") + result.error);
        refresh();
    } else {
        // The sync wrote what it pulled into the data file.
        doc_.LoadData();
        tell(doneText(result.report));
    }
    if (std::exchange(closeAsked_, false))
        QMetaObject::invokeMethod(&frame_, &QWidget::close, Qt::QueuedConnection);
    return result.ok;
}

void ArchiveCommands::OnSettings() {
    ArchiveSettingsDialog dialog(settings_, &frame_);
    if (dialog.exec() != QDialog::Accepted)
        return;
    refresh();
    restartTimer();
}

void ArchiveCommands::restartTimer() {
    const int minutes = !settings_.archiveConnection.empty() ? settings_.archiveIntervalMinutes : 0;
    if (minutes <= 0) {
        timer_.stop();
        return;
    }
    timer_.start(minutes * 60 * 1000);
}

void ArchiveCommands::onTimer() {
    // A round falls out while the user is in a dialog or another job runs;
    // the next one comes as usual.
    if (syncing_ || ui::BusyScope::active() || QApplication::activeModalWidget())
        return;
    OnSync(true);
}

void ArchiveCommands::refresh() {
    MeasurementBrowser& browser = browser_;
    if (settings_.archiveConnection.empty()) {
        pane_->hide();
        browser.setSyncMarks({});
        return;
    }
    pane_->show();
    try {
        const std::string stateFile = archive::defaultStateFile();
        const archive::SyncedRecords synced(stateFile);
        const model::CustomerTree& tree = doc_.tree();
        const archive::LocalStatus status = archive::localStatus(stateFile, tree);
        const std::string last =
            status.everSynced
                ? sj("最終同期 ") + support::formatDateTime(status.lastSync, "%Y/%m/%d %H:%M")
                : sj("未同期");
        pane_->setText(
            qs(format(sj("%s　未送信 %d件").c_str(), last.c_str(), synced.notSynced(tree))));
        browser.setSyncMarks(synced.syncedInTreeOrder(tree));
    } catch (const std::exception&) {
        // A damaged state file: the next sync finds out what the archive
        // holds and writes it anew.
        pane_->setText(qsj("同期状態を読めません"));
        browser.setSyncMarks({});
    }
}

bool ArchiveCommands::eventFilter(QObject* watched, QEvent* event) {
    // The window waits for the sync, which writes the data file, and closes after it.
    if (watched == &frame_ && event->type() == QEvent::Close && syncing_) {
        closeAsked_ = true;
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

ArchiveCommands* addArchiveCommands(QMainWindow& frame, MeasurementBrowser& browser,
                                    CPLMViewDoc& doc, settings::AppSettings& settings) {
    return new ArchiveCommands(frame, browser, doc, settings);
}

}  // namespace plm::app
