#include "link/transfer_run.h"

#include <new>

#include "link/captured_file_source.h"
#include "link/log_writer.h"
#include "link/port_scan.h"
#include "support/cx_exception.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::link {

using support::sj;

// Progress texts of the decoder go straight into the owner's queue.
class TransferRun::QueueSink : public ProgressSink {
  public:
    explicit QueueSink(TransferRun& run) : run_(run) {}
    void progress(const std::string& text) override { run_.push(NotifyKind::Progress, text); }

  private:
    TransferRun& run_;
};

TransferSetup TransferSetup::fromSettings(const settings::AppSettings& settings,
                                          const model::LineSettings& line) {
    TransferSetup setup;
    setup.line = line;
    setup.debugMode = settings.commDebug == 1;
    setup.commLog = settings.commLog == 1;
    setup.queueSize =
        settings.serialReadBuffSize > 0 ? static_cast<uint32_t>(settings.serialReadBuffSize) : 0;
    return setup;
}

void logNotify(const TransferNotify& notify, bool commLog) {
    if (notify.kind == NotifyKind::Error || (notify.kind == NotifyKind::Progress && commLog)) {
        AppLog().writeLine(notify.text);
    }
}

TransferRun::TransferRun(TransferSetup setup) : setup_(std::move(setup)) {
    if (setup_.commLog)
        openCommLog(line_);
    line_.setDevice(setup_.device);
}

TransferRun::~TransferRun() {
    requestStop();
    wait();
}

void TransferRun::start() {
    if (thread_.joinable() || finished_)
        return;
    thread_ = std::thread([this] { threadMain(); });
}

void TransferRun::requestStop() {
    stop_ = true;
    if (thread_.joinable() && !finished_) {
        line_.SetLineTimeouts(1, 1, 1, 1, 1);
        line_.SetReadTimeout(1);
    }
}

void TransferRun::wait() {
    if (thread_.joinable())
        thread_.join();
}

void TransferRun::push(NotifyKind kind, std::string text) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({kind, std::move(text)});
    }
    arrived_.notify_all();
    if (notifyHandler_)
        notifyHandler_();
}

std::optional<TransferNotify> TransferRun::poll() {
    std::lock_guard lock(mutex_);
    if (queue_.empty())
        return std::nullopt;
    TransferNotify next = std::move(queue_.front());
    queue_.pop_front();
    return next;
}

std::optional<TransferNotify> TransferRun::waitNext(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, timeout, [this] { return !queue_.empty(); }))
        return std::nullopt;
    TransferNotify next = std::move(queue_.front());
    queue_.pop_front();
    return next;
}

std::vector<model::MeasurementRecord> TransferRun::takeResults() {
    if (!finished_ || outcome_ != TransferOutcome::Completed)
        return {};
    return std::move(results_);
}

void TransferRun::threadMain() {
    const bool serial = setup_.filePath.empty();
    std::string failure;
    try {
        TransferResult result = runSource();
        outcome_ = result.outcome;
        failure = std::move(result.message);
        results_ = std::move(result.records);
    } catch (const CxException& e) {
        // An exception without a text is a quiet end, like a stop.
        if (e.quiet())
            outcome_ = TransferOutcome::Stopped;
        failure = e.text();
    } catch (const std::bad_alloc&) {
        failure = support::format("%s\n%s\n%s(%d)", sj("メモリ不足").c_str(), "std::bad_alloc",
                                  "transfer_run.cpp", __LINE__);
    } catch (const std::exception& e) {
        failure =
            support::format("%s\n%s\n%s(%d)", sj("例外発生").c_str(),
                            support::fromUtf8(e.what()).c_str(), "transfer_run.cpp", __LINE__);
    }
    const bool failed = outcome_ == TransferOutcome::Failed;
    if (failed)
        push(NotifyKind::Error, failure.empty() ? sj("例外発生") : failure);
    if (serial) {
        push(NotifyKind::Progress, sj("シリアルポートクローズ"));
        if (!setup_.debugMode)
            line_.Close();
    }
    if (!failed)
        push(NotifyKind::Progress, sj("後処理中...しばらくお待ちください"));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    finished_ = true;
    push(failed ? NotifyKind::Failed : NotifyKind::Ended);
}

TransferResult TransferRun::runSource() {
    QueueSink sink(*this);
    if (!setup_.filePath.empty()) {
        CapturedFileSource source;
        source.open(setup_.filePath, sink, &stop_);
        TransferDecoder decoder(source, sink, stop_);
        return decoder.run();
    }
    return runSerial(sink);
}

// Which port failed to open, after the error: the COM name with its device,
// or the device given in its place.
std::string TransferRun::failedPortText() const {
    const std::string port =
        setup_.device.empty() ? portLabel(setup_.line.port) : support::fromFsPath(setup_.device);
    return sj(" ポート：") + port;
}

TransferResult TransferRun::runSerial(ProgressSink& sink) {
    sink.progress(sj("シリアルポートオープン"));
    if (!setup_.debugMode) {
        line_.Configure(setup_.line);
        if (!line_.Open()) {
            throw CxException(support::format(sj("シリアルポートのオープンに失敗,%s").c_str(),
                                              SerialLine::errorText(line_.lastError()).c_str()) +
                              failedPortText());
        }
        // No timeout: the tester sends when its user starts it. A stop raised
        // from here on either is seen before the first block is asked for or
        // cuts the timeout short again (requestStop).
        line_.SetReadTimeout(SerialLine::kNoTimeout);
        line_.SetQueueSize(setup_.queueSize);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    sink.progress(sj("機器からのデータ送信待ち"));
    SerialBlockSource source(line_, setup_.debugMode);
    source.setBlockObserver(blockObserver_);
    TransferDecoder decoder(source, sink, stop_);
    if (setup_.debugMode)
        decoder.setPassPause(std::chrono::milliseconds(11));
    return decoder.run();
}

}  // namespace plm::link
