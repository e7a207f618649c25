#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// Rotating, time-stamped log files. Every write opens the current period file,
// appends and closes it again, so other programs may read the logs at any time
// and nothing stays open between writes.
namespace plm::support {

// The milliseconds tick: CLOCK_MONOTONIC in ms, truncated to 32 bits.
uint32_t tickCount();

// The rotation period of the instant t (local time): days since 1998-01-01
// minus one, divided by the days per file (truncating toward zero).
long logPeriod(std::time_t t, int daysPerFile);

// The name of the cross-process lock of one log file: its last 20 characters
// with every '\', '/', '.' and blank turned into '_'.
std::string logLockName(const std::string& fileName);

class LogWriter {
  public:
    // Numbers every log of the system is set up with.
    static constexpr int kDaysPerFile = 7;
    static constexpr int kFileCount = 4;
    static constexpr uint32_t kOpenRetryMs = 10000;
    static constexpr uint64_t kSizeLimit = 5242880;

    LogWriter() = default;
    virtual ~LogWriter() = default;
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // Turns the log on. `base` is the file-system path prefix (UTF-8) of the
    // files: "<base><period % fileCount>.LOG" and the fallback "<base>E.LOG".
    void setLog(const std::string& base, int daysPerFile = kDaysPerFile, int fileCount = kFileCount,
                uint32_t openRetryMs = kOpenRetryMs, uint64_t sizeLimit = kSizeLimit);
    bool logOn() const { return !base_.empty(); }
    const std::string& logBase() const { return base_; }

    // The period file the write at instant t goes to.
    std::string periodFile(std::time_t t) const;
    std::string fallbackFile() const { return base_ + "E.LOG"; }

    // Timestamp prefix, the text, a line break.
    void writeLine(const std::string& text);
    // Timestamp prefix and the text; the next write continues the line.
    void writeStart(const std::string& text);
    // The text and a line break, without prefix.
    void writeRaw(const std::string& text);
    // printf rules, then writeLine.
    void writeFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

  private:
    void write(const std::string& text, bool stamped, bool endLine);

    std::string base_;
    int daysPerFile_ = kDaysPerFile;
    int fileCount_ = kFileCount;
    uint32_t openRetryMs_ = kOpenRetryMs;
    uint64_t sizeLimit_ = kSizeLimit;
};

// The application log: start-up entries, transfer errors (and progress when
// the communication log is on), failures of the CSV output.
LogWriter& AppLog();

// Sets AppLog up in the program folder with the base name shared by the GUI
// and plmtool ("PLMView0.LOG" ... "PLMView3.LOG", "PLMViewE.LOG").
void openAppLog();

// Sets up a traffic log (the serial line's own) in the program folder:
// "COMM_0.LOG" ... "COMM_3.LOG", fallback "COMM_E.LOG".
void openCommLog(LogWriter& log);

}  // namespace plm::support
