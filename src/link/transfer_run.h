#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_block_source.h"
#include "link/serial_line.h"
#include "link/transfer_decoder.h"
#include "model/line_settings.h"
#include "model/measurement_record.h"
#include "settings/app_settings.h"

namespace plm::link {

// What the transfer thread tells its owner, in this order: progress and error
// texts, then exactly one Ended (completed or stopped) or Failed.
enum class NotifyKind { Progress = 1, Error = 2, Ended = 3, Failed = 4 };

struct TransferNotify {
    NotifyKind kind = NotifyKind::Progress;
    std::string text;  // CP932; empty for Ended and Failed
};

struct TransferSetup {
    model::LineSettings line;
    std::string device;      // UTF-8 device path instead of the port's (plmtool --device)
    std::string filePath;    // stored path of a captured transfer; not empty = file mode
    bool debugMode = false;  // [Debug] communication debug: no port, all-zero data
    bool commLog = false;    // [Debug] communication log: traffic log and progress in AppLog
    uint32_t queueSize = 0;  // [Param] SerialReadBuffSize

    // The run's switches from the settings, with the tree's line settings.
    static TransferSetup fromSettings(const settings::AppSettings& settings,
                                      const model::LineSettings& line);
};

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

    void start();

    // Raises the stop request and cuts the line's timeouts so that a read
    // waiting on a silent line gives up within milliseconds. Returns at once.
    void requestStop();
    // Blocks until the thread has ended.
    void wait();
    bool finished() const { return finished_.load(); }

    std::optional<TransferNotify> poll();
    std::optional<TransferNotify> waitNext(std::chrono::milliseconds timeout);

    // After the thread ended: how it ended, and the measurements of a
    // completed run in transfer order (nothing for a stopped or failed run).
    TransferOutcome outcome() const { return outcome_; }
    std::vector<model::MeasurementRecord> takeResults();

    SerialLine& line() { return line_; }

  private:
    class QueueSink;
    void threadMain();
    TransferResult runSource();
    TransferResult runSerial(ProgressSink& sink);
    std::string failedPortText() const;
    void push(NotifyKind kind, std::string text = {});

    TransferSetup setup_;
    SerialLine line_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::function<void()> notifyHandler_;
    SerialBlockSource::BlockObserver blockObserver_;

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<TransferNotify> queue_;

    TransferOutcome outcome_ = TransferOutcome::Failed;
    std::vector<model::MeasurementRecord> results_;
    std::thread thread_;
};

}  // namespace plm::link
