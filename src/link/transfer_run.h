#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_block_source.h"
#include "link/serial_line.h"
#include "link/transfer_decoder.h"
#include "link/transfer_journal.h"
#include "link/transfer_rate.h"
#include "model/line_settings.h"
#include "model/measurement_record.h"
#include "settings/app_settings.h"

namespace plm::link {

// What the transfer thread tells its owner, in this order: progress and error
// texts with the figures of the measurement being received among them, then
// exactly one Ended (completed or stopped) or Failed.
enum class NotifyKind { Progress = 1, Error = 2, Ended = 3, Failed = 4, Figures = 5 };

struct TransferNotify {
    NotifyKind kind = NotifyKind::Progress;
    std::string text;         // CP932; empty for Ended, Failed and Figures
    TransferFigures figures;  // for Figures only
    // A progress text about one block of a measurement (what it holds, or its
    // hexadecimal dump), as opposed to the status texts of the run itself.
    bool perBlock = false;
};

struct TransferSetup {
    model::LineSettings line;
    std::string device;         // UTF-8 device path instead of the port's (plmtool --device)
    std::string filePath;       // stored path of a captured transfer; not empty = file mode
    bool debugMode = false;     // [Debug] communication debug: no port, all-zero data
    bool commLog = false;       // [Debug] communication log: traffic log and progress in AppLog
    uint32_t queueSize = 0;     // [Param] SerialReadBuffSize
    std::string journalFolder;  // UTF-8; empty: transfers from the line are not journaled
    JournalLimits journalLimits;
    // How long nothing may arrive before silentFigures tells of the silence.
    std::chrono::milliseconds silenceShown{2000};
    int32_t devType = model::kDefaultDevType;  // the configured device type

    // The run's switches from the settings, with the tree's line settings.
    static TransferSetup fromSettings(const settings::AppSettings& settings,
                                      const model::LineSettings& line);
    // The line as a captured file's header names it: "COM1 (/dev/ttyS0)" or "device PATH".
    std::string lineName() const;
};

// The folder of the journal of received transfers in the program folder (UTF-8).
std::string journalFolder();

// "受信記録ファイル:%s" with the journal file's path (CP932).
std::string journalNotice(const std::string& fsPath);

// Writes a notification to AppLog the way the receive window does: error
// texts always, progress texts only with the communication log on.
void logNotify(const TransferNotify& notify, bool commLog);

// One transfer from the tester (or a captured file) on its own thread. The
// owner starts it, takes notifications from the thread-safe queue (poll or
// waitNext, or a wake-up handler that posts to its own event loop), and may
// ask it to stop at any time. The destructor stops and joins the thread, so
// the run never outlives its owner. The line is closed on every path. Every
// member is called on the owner's thread; the worker only queues notifications.
class TransferRun {
  public:
    explicit TransferRun(TransferSetup setup);
    ~TransferRun();
    TransferRun(const TransferRun&) = delete;
    TransferRun& operator=(const TransferRun&) = delete;

    // Called on the transfer thread after each notification is queued (for
    // example to post a queued signal). Set before start().
    void setNotifyHandler(std::function<void()> handler) { notifyHandler_ = std::move(handler); }
    // Sees every block read from the line (see SerialBlockSource). Set before start().
    void setBlockObserver(SerialBlockSource::BlockObserver observer) {
        blockObserver_ = std::move(observer);
    }
    // Figures notifications come at most one per interval, so a fast line
    // never floods the owner; the last figures always come before the end.
    static constexpr std::chrono::milliseconds kFiguresInterval{250};

    void start();

    // Raises the stop request and cuts the line's timeouts so that a read
    // waiting on a silent line gives up within milliseconds. Returns at once.
    void requestStop();
    // Blocks until the thread has ended.
    void wait();
    bool finished() const { return finished_.load(); }

    std::optional<TransferNotify> poll();
    std::optional<TransferNotify> waitNext(std::chrono::milliseconds timeout);

    // The line waits without a timeout, so nothing is notified while it is
    // silent. Asked at `now` (steady clock), once a measurement is under way
    // and nothing has arrived for the setup's silenceShown: its latest figures
    // with how long the line has been silent, in place of the rate and the
    // time left. nullopt otherwise, and once the thread has ended.
    std::optional<TransferFigures> silentFigures(std::chrono::steady_clock::time_point now) const;

    // After the thread ended: how it ended, and the measurements of a
    // completed run in transfer order (nothing for a stopped or failed run).
    TransferOutcome outcome() const { return outcome_; }
    std::vector<model::MeasurementRecord> takeResults();

    // After the thread ended: all measurements of a completed run, or those
    // of a stopped or failed run that arrived whole (end code received and
    // checked), marked as from an interrupted transfer. A measurement that
    // did not arrive whole is never among them.
    struct Received {
        std::vector<model::MeasurementRecord> records;
        bool interrupted = false;
    };
    Received takeReceived();

    // The journal file of this transfer (UTF-8), known from start(); empty
    // when the transfer is not journaled.
    const std::string& journalPath() const { return journalPath_; }

    SerialLine& line() { return line_; }

  private:
    class QueueSink;
    void threadMain();
    TransferResult runSource(ProgressSink& sink);
    TransferResult runSerial(ProgressSink& sink);
    std::string failedPortText() const;
    void push(NotifyKind kind, std::string text = {}, bool perBlock = false);
    void pushFigures(const TransferFigures& figures);
    void noteFigures(std::chrono::steady_clock::time_point when,
                     const MeasurementProgress& figures);
    void openJournal();
    void journalBlock(std::span<const uint8_t> block);
    void closeJournal(const std::string& failure);

    TransferSetup setup_;
    SerialLine line_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::function<void()> notifyHandler_;
    SerialBlockSource::BlockObserver blockObserver_;
    std::unique_ptr<TransferJournal> journal_;  // the transfer thread's once started
    std::string journalPath_;

    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<TransferNotify> queue_;
    // The latest figures and when they last changed, for silentFigures.
    std::optional<std::chrono::steady_clock::time_point> figuresChanged_;
    MeasurementProgress latestFigures_;

    TransferOutcome outcome_ = TransferOutcome::Failed;
    std::vector<model::MeasurementRecord> results_;
    size_t wholeCount_ = 0;
    std::thread thread_;
};

}  // namespace plm::link
