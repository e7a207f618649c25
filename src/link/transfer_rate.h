#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "link/progress_sink.h"

namespace plm::link {

// What the owner of a transfer is told about its progress: the figures of the
// measurement being received, the line's rate and the time that measurement
// still needs at that rate.
struct TransferFigures {
    MeasurementProgress measurement;
    double bytesPerSecond = 0.0;  // 0 until the rate is known
    int64_t secondsLeft = -1;     // -1 until the rate is known
    int64_t silentSeconds = -1;   // how long nothing has arrived, once that is told; else -1

    bool silent() const { return silentSeconds >= 0; }
};

// "測定データ 2 件目: 1200 / 5041 バイト" (CP932).
std::string measurementText(const MeasurementProgress& measurement);
// "受信完了 1 件", followed by the rate and the time left once they are known,
// or on a silent line by how long it has been silent (CP932).
std::string figuresText(const TransferFigures& figures);

// The rate of a transfer over its last few seconds, from the byte counts seen
// as blocks arrive. The waiting before the first byte never counts, and no
// rate is given until a few blocks have arrived over a span long enough to
// measure, or bytes have kept arriving for a while within the first block of
// samples (one measurement's samples may take minutes on a slow line).
class TransferRate {
  public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kMinBlocks = 3;
    static constexpr std::chrono::milliseconds kMinSpan{250};
    static constexpr std::chrono::milliseconds kLongSpan{1000};
    static constexpr std::chrono::milliseconds kWindow{5000};

    void add(Clock::time_point when, const MeasurementProgress& figures);
    // Bytes per second, or 0 while not known.
    double bytesPerSecond() const;
    // The figures with the rate and the time left of their measurement.
    TransferFigures figures(const MeasurementProgress& measurement) const;

  private:
    struct Sample {
        Clock::time_point when;
        int64_t bytes = 0;
    };
    static constexpr std::chrono::milliseconds kSampleSpacing{100};

    std::deque<Sample> samples_;
    Sample latest_;
    int blocks_ = 0;
};

}  // namespace plm::link
