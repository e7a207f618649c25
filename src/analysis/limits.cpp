#include "analysis/limits.h"

#include <algorithm>
#include <sstream>

#include "analysis/figures.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

namespace plm::analysis {
namespace {

using support::sj;

using TimeMember = std::optional<int64_t> Limits::*;

struct TimeKey {
    const char* key;
    TimeMember member;
};

constexpr TimeKey kTimeKeys[] = {
    {"close_min_ms", &Limits::closeMinUs},
    {"close_max_ms", &Limits::closeMaxUs},
    {"open_min_ms", &Limits::openMinUs},
    {"open_max_ms", &Limits::openMaxUs},
    {"pole_spread_max_ms", &Limits::poleSpreadMaxUs},
    {"bounce_max_ms", &Limits::bounceMaxUs},
};

constexpr const char* kPoleGroupKey = "pole_group";

const TimeKey* findTimeKey(const std::string& key) {
    for (const TimeKey& k : kTimeKeys) {
        if (key == k.key)
            return &k;
    }
    return nullptr;
}

// "1,2,3": distinct channel numbers 1..8, blanks allowed around them.
std::optional<std::vector<int>> parsePoleGroup(const std::string& text) {
    std::vector<int> group;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        item = support::trimMb(item);
        if (item.size() != 1 || item[0] < '1' || item[0] > '8')
            return std::nullopt;
        const int channel = item[0] - '0';
        if (std::find(group.begin(), group.end(), channel) != group.end())
            return std::nullopt;
        group.push_back(channel);
    }
    if (group.empty() || text.back() == ',')
        return std::nullopt;
    return group;
}

CxException badValue(const std::string& key, const std::string& value) {
    return CxException(support::format(sj("%s の値 \"%s\" が正しくありません").c_str(), key.c_str(),
                                       value.c_str()));
}

}  // namespace

bool Limits::judgesAnything() const {
    return std::any_of(std::begin(kTimeKeys), std::end(kTimeKeys),
                       [this](const TimeKey& k) { return (this->*k.member).has_value(); });
}

Limits Limits::overlaidWith(const Limits& over) const {
    Limits result = *this;
    for (const TimeKey& k : kTimeKeys) {
        if (over.*k.member)
            result.*k.member = over.*k.member;
    }
    if (over.poleGroup)
        result.poleGroup = over.poleGroup;
    return result;
}

std::vector<int> Limits::poleGroupOrDefault() const {
    return poleGroup ? *poleGroup : defaultPoleGroup();
}

const std::vector<std::string>& limitKeys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> all;
        for (const TimeKey& k : kTimeKeys)
            all.emplace_back(k.key);
        all.emplace_back(kPoleGroupKey);
        return all;
    }();
    return keys;
}

void setLimit(Limits& limits, const std::string& key, const std::string& value) {
    const std::string text = support::trimMb(value);
    if (key == kPoleGroupKey) {
        if (text.empty()) {
            limits.poleGroup.reset();
            return;
        }
        limits.poleGroup = parsePoleGroup(text);
        if (!limits.poleGroup)
            throw badValue(key, value);
        return;
    }
    const TimeKey* k = findTimeKey(key);
    if (!k)
        throw CxException(
            support::format(sj("判定基準の項目 \"%s\" はありません").c_str(), key.c_str()));
    if (text.empty()) {
        (limits.*k->member).reset();
        return;
    }
    limits.*k->member = microsFromMsText(text);
    if (!(limits.*k->member))
        throw badValue(key, value);
}

std::string limitText(const Limits& limits, const std::string& key) {
    if (key == kPoleGroupKey) {
        std::string text;
        for (int channel : limits.poleGroup.value_or(std::vector<int>{}))
            text += (text.empty() ? "" : ",") + std::to_string(channel);
        return text;
    }
    const TimeKey* k = findTimeKey(key);
    if (!k || !(limits.*k->member))
        return {};
    return msFromMicros(*(limits.*k->member));
}

std::string inconsistency(const Limits& limits) {
    const auto above = [](const std::optional<int64_t>& min, const std::optional<int64_t>& max) {
        return min && max && *min > *max;
    };
    if (above(limits.closeMinUs, limits.closeMaxUs))
        return sj("close_min_ms が close_max_ms より大きくなっています");
    if (above(limits.openMinUs, limits.openMaxUs))
        return sj("open_min_ms が open_max_ms より大きくなっています");
    return {};
}

}  // namespace plm::analysis
