#include "link/transfer_run.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "link/captured_file_source.h"
#include "link/port_scan.h"
#include "support/cx_exception.h"
#include "support/log_writer.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::link {

using support::sj;

// Progress texts of the decoder go straight into the owner's queue. The
// figures come with every read from the line; they are passed on at most one
// per interval, so a fast line never floods the owner, and the last ones
// when the run ends.
class TransferRun::QueueSink : public ProgressSink {
  public:
    using Clock = std::chrono::steady_clock;

    explicit QueueSink(TransferRun& run) : run_(run) {}
    void progress(const std::string& text) override { run_.push(NotifyKind::Progress, text); }
    void blockText(const std::string& text) override {
        run_.push(NotifyKind::Progress, text, true);
    }

    void measurement(const MeasurementProgress& figures) override {
        const auto now = Clock::now();
        rate_.add(now, figures);
        run_.noteFigures(now, figures);
        // A quiet line keeps reporting the same figures; they are told once.
        if (figures == lastTold_)
            return;
        pending_ = figures;
        if (!lastPush_ || now - *lastPush_ >= kFiguresInterval) {
            lastPush_ = now;
            flush();
        }
    }

    void flush() {
        if (!pending_)
            return;
        run_.pushFigures(rate_.figures(*pending_));
        lastTold_ = *pending_;
        pending_.reset();
    }

  private:
    TransferRun& run_;
    TransferRate rate_;
    std::optional<MeasurementProgress> pending_;
    MeasurementProgress lastTold_;
    std::optional<Clock::time_point> lastPush_;
};

std::string journalFolder() {
    return support::programFolder() + "/JOURNAL";
}

std::string journalNotice(const std::string& fsPath) {
    return support::format(sj("受信記録ファイル:%s").c_str(), support::fromFsPath(fsPath).c_str());
}

std::string TransferSetup::lineName() const {
    return device.empty() ? portLabel(line.port) : "device " + device;
}

TransferSetup TransferSetup::fromSettings(const settings::AppSettings& settings,
                                          const model::LineSettings& line) {
    TransferSetup setup;
    setup.line = line;
    setup.debugMode = settings.commDebug == 1;
    setup.commLog = settings.commLog == 1;
    setup.queueSize =
        settings.serialReadBuffSize > 0 ? static_cast<uint32_t>(settings.serialReadBuffSize) : 0;
    setup.journalFolder = link::journalFolder();
    setup.journalLimits.maxBytes = std::max(settings.journalMaxMB, 0) * int64_t{1024 * 1024};
    setup.journalLimits.maxDays = std::max(settings.journalMaxDays, 0);
    setup.devType = settings.deviceTypeIndex;
    return setup;
}

void logNotify(const TransferNotify& notify, bool commLog) {
    if (notify.kind == NotifyKind::Error || (notify.kind == NotifyKind::Progress && commLog)) {
        support::AppLog().writeLine(notify.text);
    }
}

TransferRun::TransferRun(TransferSetup setup) : setup_(std::move(setup)) {
    if (setup_.commLog)
        support::openCommLog(line_);
    line_.setDevice(setup_.device);
}

TransferRun::~TransferRun() {
    requestStop();
    wait();
}

void TransferRun::start() {
    if (thread_.joinable() || finished_)
        return;
    openJournal();
    thread_ = std::thread([this] { threadMain(); });
}

void TransferRun::openJournal() {
    // A captured file is already on disk, and debug mode reads nothing.
    if (setup_.journalFolder.empty() || !setup_.filePath.empty() || setup_.debugMode)
        return;
    try {
        journal_ = std::make_unique<TransferJournal>(
            setup_.journalFolder, setup_.journalLimits,
            capturedFileHeader(support::programBaseName(), setup_.lineName(), setup_.line));
        journalPath_ = journal_->path();
    } catch (const std::system_error& e) {
        // The transfer itself can still go on; the user is told it is not journaled.
        push(NotifyKind::Error, support::format(sj("受信記録ファイルを作成できません:%s").c_str(),
                                                support::fromUtf8(e.what()).c_str()));
    }
}

void TransferRun::journalBlock(std::span<const uint8_t> block) {
    if (!journal_)
        return;
    try {
        journal_->writeBlock(block);
    } catch (const std::system_error& e) {
        journal_.reset();
        push(NotifyKind::Error, support::format(sj("受信記録ファイルに書き込めません:%s").c_str(),
                                                support::fromUtf8(e.what()).c_str()));
    }
}

void TransferRun::closeJournal(const std::string& failure) {
    if (!journal_)
        return;
    std::string note = outcome_ == TransferOutcome::Completed ? "end: completed"
                       : outcome_ == TransferOutcome::Stopped ? "end: stopped"
                                                              : "end: failed " + failure;
    // The note is one comment line, whatever the failure text holds.
    std::replace_if(
        note.begin(), note.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    try {
        journal_->close(note);
    } catch (const std::system_error& e) {
        push(NotifyKind::Error, support::format(sj("受信記録ファイルに書き込めません:%s").c_str(),
                                                support::fromUtf8(e.what()).c_str()));
    }
    journal_.reset();
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

void TransferRun::pushFigures(const TransferFigures& figures) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({NotifyKind::Figures, {}, figures, false});
    }
    arrived_.notify_all();
    if (notifyHandler_)
        notifyHandler_();
}

void TransferRun::noteFigures(std::chrono::steady_clock::time_point when,
                              const MeasurementProgress& figures) {
    // A silent line keeps reporting the same figures at every poll of the read.
    std::lock_guard lock(mutex_);
    if (figuresChanged_ && figures == latestFigures_)
        return;
    figuresChanged_ = when;
    latestFigures_ = figures;
}

std::optional<TransferFigures> TransferRun::silentFigures(
    std::chrono::steady_clock::time_point now) const {
    std::lock_guard lock(mutex_);
    if (!figuresChanged_ || finished_)
        return std::nullopt;
    const auto silence = now - *figuresChanged_;
    if (silence < setup_.silenceShown)
        return std::nullopt;
    TransferFigures figures;
    figures.measurement = latestFigures_;
    figures.silentSeconds = std::chrono::duration_cast<std::chrono::seconds>(silence).count();
    return figures;
}

void TransferRun::push(NotifyKind kind, std::string text, bool perBlock) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({kind, std::move(text), {}, perBlock});
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

TransferRun::Received TransferRun::takeReceived() {
    Received received;
    if (!finished_)
        return received;
    if (outcome_ != TransferOutcome::Completed) {
        results_.resize(std::min(results_.size(), wholeCount_));
        received.interrupted = !results_.empty();
    }
    received.records = std::move(results_);
    return received;
}

void TransferRun::threadMain() {
    const bool serial = setup_.filePath.empty();
    std::string failure;
    QueueSink sink(*this);
    try {
        TransferResult result = runSource(sink);
        outcome_ = result.outcome;
        failure = std::move(result.message);
        results_ = std::move(result.records);
        wholeCount_ = result.wholeCount;
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
    sink.flush();
    closeJournal(failure);
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

TransferResult TransferRun::runSource(ProgressSink& sink) {
    if (!setup_.filePath.empty()) {
        CapturedFileSource source;
        source.open(setup_.filePath, sink, &stop_);
        TransferDecoder decoder(source, sink, stop_);
        decoder.setDevType(setup_.devType);
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
    source.setBlockObserver([this](std::span<const uint8_t> block) {
        journalBlock(block);
        if (blockObserver_)
            blockObserver_(block);
    });
    TransferDecoder decoder(source, sink, stop_);
    decoder.setDevType(setup_.devType);
    if (setup_.debugMode)
        decoder.setPassPause(std::chrono::milliseconds(11));
    return decoder.run();
}

}  // namespace plm::link
