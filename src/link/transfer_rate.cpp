#include "link/transfer_rate.h"

#include <algorithm>
#include <cmath>

#include "support/text_codec.h"

namespace plm::link {

using support::format;
using support::sj;

std::string measurementText(const MeasurementProgress& m) {
    return format(sj("測定データ %d 件目: %lld / %lld バイト").c_str(), m.number,
                  static_cast<long long>(m.received), static_cast<long long>(m.announced));
}

std::string figuresText(const TransferFigures& figures) {
    std::string text = format(sj("受信完了 %d 件").c_str(), figures.measurement.whole);
    if (figures.silent()) {
        // A rate of the bytes before the silence would promise an end that is not coming.
        text += format(sj("　%lld 秒間データが届いていません").c_str(),
                       static_cast<long long>(figures.silentSeconds));
    } else if (figures.bytesPerSecond > 0.0) {
        // Whole bytes: a rate needs no decimal mark, whatever the locale writes.
        text += format(sj("　%lld バイト/秒　残り約 %lld 秒").c_str(),
                       static_cast<long long>(std::llround(figures.bytesPerSecond)),
                       static_cast<long long>(figures.secondsLeft));
    }
    return text;
}

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
    if (samples_.empty())
        return 0.0;
    const Sample& oldest = samples_.front();
    const auto span = latest_.when - oldest.when;
    if (span < kMinSpan || (blocks_ < kMinBlocks && span < kLongSpan))
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
