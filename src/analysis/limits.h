#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The limits a breaker is judged by, per test circuit and optionally per
// measurement name. Every value is optional: an unset one judges nothing.
namespace plm::analysis {

struct Limits {
    std::optional<int64_t> closeMinUs;  // operating time of a close (測定種別 投入)
    std::optional<int64_t> closeMaxUs;
    std::optional<int64_t> openMinUs;  // operating time of a trip (遮断)
    std::optional<int64_t> openMaxUs;
    std::optional<int64_t> poleSpreadMaxUs;
    std::optional<int64_t> bounceMaxUs;
    std::optional<std::vector<int>> poleGroup;  // channel numbers 1..8

    // True when any limit is set; a pole group alone judges nothing.
    bool judgesAnything() const;
    bool empty() const { return !judgesAnything() && !poleGroup; }

    // Every value set in `over` replaces the one here.
    Limits overlaidWith(const Limits& over) const;

    // The pole group to use: the one set, else channels 1..3.
    std::vector<int> poleGroupOrDefault() const;

    bool operator==(const Limits&) const = default;
};

// The keys of the limits file and of plmtool limits, in file order.
const std::vector<std::string>& limitKeys();

// Sets one key from its text; an empty text clears it. Throws CxException
// with a message for an unknown key or a value that is not one.
void setLimit(Limits& limits, const std::string& key, const std::string& value);

// The text of one key ("" when unset), as setLimit takes it back.
std::string limitText(const Limits& limits, const std::string& key);

// A minimum above its maximum can never be met: the message, or "" when the
// limits are consistent.
std::string inconsistency(const Limits& limits);

}  // namespace plm::analysis
