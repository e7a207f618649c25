#include "link/transfer_rate.h"

#include <algorithm>
#include <cmath>

namespace plm::link {

void TransferRate::add(Clock::time_point when, const MeasurementProgress& figures) {
    latest_ = {when, figures.transferBytes};
    blocks_ = figures.blocks;
    // Bytes arrive in many small reads: keep one sample per spacing, enough
    // to measure over the window without holding every read.
    if (samples_.empty() || when - samples_.back().when >= kSampleSpacing)
        samples_.push_back(latest_);
    while (samples_.size() > 1 && when - samples_[1].when >= kWindow)
        samples_.pop_front();
}

double TransferRate::bytesPerSecond() const {
    if (samples_.empty() || blocks_ < kMinBlocks)
        return 0.0;
    const Sample& oldest = samples_.front();
    const auto span = latest_.when - oldest.when;
    if (span < kMinSpan)
        return 0.0;
    const double seconds = std::chrono::duration<double>(span).count();
    return static_cast<double>(latest_.bytes - oldest.bytes) / seconds;
}

TransferFigures TransferRate::figures(const MeasurementProgress& measurement) const {
    TransferFigures out;
    out.measurement = measurement;
    out.bytesPerSecond = bytesPerSecond();
    if (out.bytesPerSecond > 0.0) {
        const int64_t left = std::max<int64_t>(measurement.announced - measurement.received, 0);
        out.secondsLeft = static_cast<int64_t>(std::ceil(left / out.bytesPerSecond));
    }
    return out;
}

}  // namespace plm::link
