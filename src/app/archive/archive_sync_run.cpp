#include "app/archive/archive_sync_run.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

#include "chart/qt_text.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"
#include "ui/busy_scope.h"
#include "ui/prompter.h"

namespace plm::app {

namespace {

using support::format;
using support::sj;

constexpr int kPollMs = 50;

// What each side did: "（こちら：変更　アーカイブ（端末）：削除）".
std::string sidesText(const archive::SyncConflict& c) {
    const char* here = "変更";
    const char* there = "変更";
    if (c.kind == archive::SyncConflict::Kind::DeletedHereChangedThere)
        here = "削除";
    if (c.kind == archive::SyncConflict::Kind::ChangedHereDeletedThere)
        there = "削除";
    const std::string who =
        c.theirInstallation.empty() ? std::string() : sj("（") + c.theirInstallation + sj("）");
    return format(sj("（こちら：%s　アーカイブ%s：%s）").c_str(), sj(here).c_str(), who.c_str(),
                  sj(there).c_str());
}

std::string stageText(const archive::SyncProgress& p) {
    switch (p.stage) {
        case archive::SyncStage::Reading:
            return sj("データファイル読み込み中・・・");
        case archive::SyncStage::Pushing:
            return p.total > 0 ? format(sj("アーカイブへ送信中・・・（%d / %d件）").c_str(), p.done,
                                        p.total)
                               : sj("アーカイブへ送信中・・・");
        case archive::SyncStage::Pulling:
            return format(sj("アーカイブから受信中・・・（%d件）").c_str(), p.done);
        case archive::SyncStage::Writing:
            break;
    }
    return sj("データファイル保存中・・・");
}

// The worker's last progress, for the GUI thread to show.
class ProgressMailbox {
  public:
    void post(const archive::SyncProgress& progress) {
        const std::lock_guard lock(mutex_);
        progress_ = progress;
        fresh_ = true;
    }
    bool take(archive::SyncProgress& out) {
        const std::lock_guard lock(mutex_);
        out = progress_;
        return std::exchange(fresh_, false);
    }

  private:
    std::mutex mutex_;
    archive::SyncProgress progress_;
    bool fresh_ = false;
};

void showProgress(QProgressDialog& window, const archive::SyncProgress& p, bool cancelled) {
    if (!cancelled)
        window.setLabelText(qs(stageText(p)));
    if (p.total > 0) {
        window.setRange(0, p.total);
        window.setValue(std::min(p.done, p.total));
    } else {
        window.setRange(0, 0);  // a moving bar
    }
}

archive::ConflictDecision askConflict(const archive::SyncConflict& conflict) {
    bool keepMine = true;
    ui::BusyScope::onGuiThread(
        [&] { keepMine = ui::prompter().askYesNo(syncConflictText(conflict)); });
    return keepMine ? archive::ConflictDecision::KeepMine : archive::ConflictDecision::KeepTheirs;
}

}  // namespace

std::string syncConflictText(const archive::SyncConflict& c) {
    std::string place = c.customer + " / " + c.circuit + " / " + c.name;
    if (c.kind == archive::SyncConflict::Kind::LimitsOnBothSides)
        place = sj("判定基準 ") + place;
    else
        place += "  " + support::formatDateTime(c.testDateTime, "%Y/%m/%d %H:%M:%S");
    std::string text = place + sidesText(c) + "\n";
    const bool movedThere =
        c.kind == archive::SyncConflict::Kind::EditedOnBothSides &&
        (c.theirCustomer != c.customer || c.theirCircuit != c.circuit || c.theirName != c.name) &&
        !c.theirName.empty();
    if (movedThere) {
        text += sj("アーカイブでの場所：") + c.theirCustomer + " / " + c.theirCircuit + " / " +
                c.theirName + "\n";
    }
    return format(sj("他の端末が同じデータを変更してアーカイブに同期しています。\n%s\n"
                     "こちらの変更を残しますか？\n"
                     "（はい: こちらの変更を残す　いいえ: アーカイブの変更を残す）\n"
                     "どちらの内容もアーカイブには残ります")
                      .c_str(),
                  text.c_str());
}

ArchiveSyncResult runArchiveSync(const archive::SyncSetup& setup, QWidget* parent,
                                 const std::function<void(QProgressDialog&)>& started) {
    QProgressDialog window(qsj("アーカイブと同期中・・・"), qsj("中止"), 0, 0, parent);
    window.setWindowTitle(qsj("アーカイブと同期"));
    // Modal: the tree must not change under the sync, which writes the data file.
    window.setWindowModality(Qt::ApplicationModal);
    window.setAutoClose(false);
    window.setAutoReset(false);
    window.setMinimumDuration(0);
    window.setMinimumWidth(360);

    std::atomic<bool> cancel{false};
    QObject::connect(&window, &QProgressDialog::canceled, &window, [&] {
        cancel.store(true);
        window.setLabelText(
            qsj("中止しています・・・\n送信を終えた測定データはアーカイブに残ります"));
    });
    ProgressMailbox mailbox;
    archive::SyncOptions options;
    options.cancel = &cancel;
    options.progress = [&mailbox](const archive::SyncProgress& p) { mailbox.post(p); };
    options.decide = askConflict;

    window.show();
    if (started)
        started(window);

    ArchiveSyncResult result;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &window, [&] {
        archive::SyncProgress p;
        if (mailbox.take(p))
            showProgress(window, p, cancel.load());
    });
    poll.start(kPollMs);
    std::atomic<bool> ended{false};
    {
        const std::jthread worker([&] {
            try {
                result.report = archive::sync(setup, options);
                result.ok = true;
            } catch (const CxException& e) {
                result.error = e.text();
            } catch (const std::exception& e) {
                result.error = support::fromUtf8(e.what());
            }
            ended.store(true, std::memory_order_release);
            QMetaObject::invokeMethod(
                &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
        });
        loop.exec();
        // The application quitting ends every event loop at once; the sync
        // still finishes, its questions answered, before what it uses goes.
        while (!ended.load(std::memory_order_acquire))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return result;
}

}  // namespace plm::app
