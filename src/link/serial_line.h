#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "model/line_settings.h"
#include "support/file_lock.h"
#include "support/log_writer.h"

// One serial port of the PC, opened by number with the six line settings. The
// PC only listens: nothing is ever written to the line. The line is its own
// traffic log (CommLog) once a log base has been set.
namespace plm::link {

// The device of COM<n>: the main INI key [Ports] COM<n> when present, else
// 1..8 -> /dev/ttyS0..7, 9..16 -> /dev/ttyUSB0..7, 17..20 -> /dev/ttyACM0..3.
// Empty for a number outside 1..20 without an INI entry.
std::string portDevice(int portNumber);

class SerialLine : public support::LogWriter {
  public:
    static constexpr uint32_t kNoTimeout = 0xFFFFFFFFu;

    SerialLine();
    ~SerialLine() override;

    // Stores the settings for the next Open.
    void Configure(const model::LineSettings& settings);
    // Opens this device instead of the port number's (plmtool --device, tests).
    // Empty goes back to the port number.
    void setDevice(const std::string& fsPath) { device_ = fsPath; }
    std::string devicePath() const;

    bool Open();
    bool Close();
    bool isOpen() const { return open_.load(); }

    // The five timeouts of the line. The read slice of one poll is
    // multiplier + constant milliseconds, at most 1000. May be called from
    // another thread while a read waits: the read picks the new values up at once.
    // False on a closed line.
    bool SetLineTimeouts(uint32_t interval, uint32_t multiplier, uint32_t constant,
                         uint32_t writeMultiplier, uint32_t writeConstant);
    // The silence after the last byte (ms) at which ReadBlock gives up;
    // kNoTimeout waits for ever. May be called from another thread.
    void SetReadTimeout(uint32_t ms);
    uint32_t readTimeout() const { return readTimeout_.load(); }
    bool SetQueueSize(uint32_t receiveBytes);

    // Sees how many bytes the running ReadBlock holds after every read from
    // the device and every wait that brought nothing, on the reading thread
    // (progress within a long block, and a chance to pass it on while the
    // line is quiet).
    using ReadProgress = std::function<void(uint32_t received)>;
    void setReadProgress(ReadProgress progress) { readProgress_ = std::move(progress); }

    // 0 when n bytes arrived, -1 on a read error (lastError holds the errno;
    // a hang-up is EIO), -2 on a timeout. `received` counts the bytes in buffer.
    int ReadBlock(uint8_t* buffer, uint32_t n, uint32_t& received);
    void DumpTraffic(const uint8_t* bytes, size_t size);

    uint32_t lastError() const { return lastError_.load(); }
    // "%sｴﾗｰNo:hex(%X),dec(%lu)" with the system's text for the code (CP932).
    static std::string errorText(uint32_t code);

  private:
    enum class Wait { Byte, Nothing, Failed };
    Wait waitReadable(uint32_t sliceMs);
    bool applySettings(int fd);
    void recordError(int code) { lastError_ = static_cast<uint32_t>(code); }
    void wake();
    void logQueues();

    model::LineSettings settings_;
    std::string device_;
    support::UniqueFd port_;
    std::atomic<bool> open_{false};  // read by another thread that shortens the timeouts
    support::UniqueFd wakeFd_;       // eventfd that interrupts a waiting poll
    std::atomic<uint32_t> readTimeout_{5000};
    std::atomic<uint32_t> interval_{0}, multiplier_{0}, constant_{0};
    std::atomic<uint32_t> writeMultiplier_{0}, writeConstant_{0};
    std::atomic<uint32_t> lastError_{0};
    ReadProgress readProgress_;
};

}  // namespace plm::link
