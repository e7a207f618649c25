#include "analysis/figures.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "support/text_codec.h"

namespace plm::analysis {

std::optional<int64_t> periodMicros(const model::MeasurementRecord& record) {
    switch (record.measPeriod) {
        case 0:
            return 100;
        case 1:
            return 1000;
        case 2:
            return 2000;
        case 3:
            return 20000;
        case 5:
            return 5000;
        default:
            return std::nullopt;
    }
}

std::vector<int> defaultPoleGroup() {
    return {1, 2, 3};
}

namespace {

// Positions of the changes after sample 1, per channel: the states at
// sample i-1 and i differ when their bytes differ in the channel's bit.
// The bytes are compared eight at a time, and each change is booked under
// its pattern of changed bits; the channels' figures are gathered from the
// 256 patterns at the end, so a change costs the same however many
// channels it concerns.
class ChangeScan {
  public:
    void scan(const model::ContactSamples& samples, unsigned mask) {
        const uint8_t* s = samples.data();
        const size_t n = samples.size();
        const uint64_t wordMask = 0x0101010101010101ULL * mask;
        size_t i = 2;
        for (; i + 8 <= n; i += 8) {
            uint64_t now = 0;
            uint64_t before = 0;
            std::memcpy(&now, s + i, 8);
            std::memcpy(&before, s + i - 1, 8);
            uint64_t diff = (now ^ before) & wordMask;
            while (diff) {
                const int shift = __builtin_ctzll(diff) & ~7;
                book(static_cast<int64_t>(i) + shift / 8, static_cast<uint8_t>(diff >> shift));
                diff &= ~(0xFFULL << shift);
            }
        }
        for (; i < n; ++i) {
            if (const uint8_t d = static_cast<uint8_t>((s[i] ^ s[i - 1]) & mask))
                book(static_cast<int64_t>(i), d);
        }
    }

    void gather(std::vector<ChannelFigures>& channels) const {
        for (ChannelFigures& ch : channels) {
            const unsigned bit = 1u << (ch.channel - 1);
            // Only the patterns met: a record has a handful, and going through
            // all 255 for every channel cost more than the scan itself.
            for (int k = 0; k < patterns_; ++k) {
                const uint8_t d = met_[static_cast<size_t>(k)];
                if (!(d & bit))
                    continue;
                ch.changes += count_[d];
                if (ch.firstChange < 0 || first_[d] < ch.firstChange)
                    ch.firstChange = first_[d];
                ch.lastChange = std::max(ch.lastChange, last_[d]);
            }
        }
    }

  private:
    void book(int64_t at, uint8_t d) {
        if (count_[d]++ == 0) {
            first_[d] = at;
            met_[static_cast<size_t>(patterns_++)] = d;
        }
        last_[d] = at;
    }

    std::array<int, 256> count_{};
    std::array<int64_t, 256> first_{};
    std::array<int64_t, 256> last_{};
    std::array<uint8_t, 255> met_{};  // the patterns booked, in the order first met
    int patterns_ = 0;
};

void fillTimes(ChannelFigures& ch, std::optional<int64_t> period) {
    if (!period || ch.changes == 0)
        return;
    ch.operatingUs = (ch.firstChange - 1) * *period;
    ch.bounceUs = (ch.lastChange - ch.firstChange) * *period;
}

std::optional<int64_t> spreadOf(const std::vector<ChannelFigures>& channels,
                                const std::vector<int>& poleGroup) {
    std::vector<int64_t> times;
    for (int pole : poleGroup) {
        if (pole < 1 || pole > static_cast<int>(channels.size()))
            continue;
        const ChannelFigures& ch = channels[static_cast<size_t>(pole - 1)];
        if (ch.operatingUs)
            times.push_back(*ch.operatingUs);
    }
    if (times.size() < 2)
        return std::nullopt;
    const auto [lo, hi] = std::minmax_element(times.begin(), times.end());
    return *hi - *lo;
}

}  // namespace

MeasurementFigures computeFigures(const model::MeasurementRecord& record,
                                  const std::vector<int>& poleGroup) {
    MeasurementFigures figures;
    const int count = record.channelCount();
    figures.channels.resize(static_cast<size_t>(count));
    for (int c = 0; c < count; ++c)
        figures.channels[static_cast<size_t>(c)].channel = c + 1;
    ChangeScan scan;
    scan.scan(record.contacts, (1u << count) - 1u);
    scan.gather(figures.channels);

    const std::optional<int64_t> period = periodMicros(record);
    figures.timeBase = period.has_value();
    for (ChannelFigures& ch : figures.channels) {
        fillTimes(ch, period);
        if (!record.contacts.empty())
            ch.finalOn = record.contactState(ch.channel - 1,
                                             static_cast<int64_t>(record.contacts.size()) - 1) == 1;
    }
    figures.poleSpreadUs = spreadOf(figures.channels, poleGroup);
    return figures;
}

std::string msFromMicros(int64_t us) {
    const char* sign = us < 0 ? "-" : "";
    const int64_t magnitude = us < 0 ? -us : us;
    std::string fraction = support::format("%03lld", static_cast<long long>(magnitude % 1000));
    while (fraction.size() > 1 && fraction.back() == '0')
        fraction.pop_back();
    return support::format("%s%lld.%s", sign, static_cast<long long>(magnitude / 1000),
                           fraction.c_str());
}

std::optional<int64_t> microsFromMsText(const std::string& text) {
    constexpr int64_t kMaxMs = 1000000000;
    const size_t dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    const std::string fraction = dot == std::string::npos ? std::string() : text.substr(dot + 1);
    const auto digitsOnly = [](const std::string& s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (whole.empty() || whole.size() > 10 || !digitsOnly(whole) || fraction.size() > 3 ||
        !digitsOnly(fraction) || (dot != std::string::npos && fraction.empty()))
        return std::nullopt;
    const int64_t ms = std::strtoll(whole.c_str(), nullptr, 10);
    if (ms > kMaxMs)
        return std::nullopt;
    int64_t us = ms * 1000;
    int64_t scale = 100;
    for (char c : fraction) {
        us += (c - '0') * scale;
        scale /= 10;
    }
    return us;
}

}  // namespace plm::analysis
