#include "analysis/figures.h"

#include <algorithm>
#include <cstdlib>

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
void scanChanges(const std::vector<uint8_t>& samples, std::vector<ChannelFigures>& channels) {
    const unsigned mask = (1u << channels.size()) - 1u;
    const size_t n = samples.size();
    for (size_t i = 2; i < n; ++i) {
        unsigned diff = static_cast<unsigned>(samples[i] ^ samples[i - 1]) & mask;
        while (diff) {
            const int bit = __builtin_ctz(diff);
            diff &= diff - 1;
            ChannelFigures& ch = channels[static_cast<size_t>(bit)];
            if (ch.changes++ == 0)
                ch.firstChange = static_cast<int64_t>(i);
            ch.lastChange = static_cast<int64_t>(i);
        }
    }
}

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
    scanChanges(record.contacts, figures.channels);

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
