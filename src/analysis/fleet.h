#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "analysis/limits_file.h"
#include "model/measurement_record.h"
#include "model/name_compare.h"
#include "support/ole_date.h"

// The breakers of a model across every customer: a breaker is its maker,
// model and serial number from a measurement's test conditions, wherever the
// measurement is filed. Makers, models and serial numbers compare as names
// do.
namespace plm::analysis {

// Smallest, median and largest of some values; the median of an even
// number of values is the mean of the two middle ones, to the microsecond
// (a half rounded up).
struct Spread {
    int64_t min = 0;
    int64_t median = 0;
    int64_t max = 0;
    bool operator==(const Spread&) const = default;
};
std::optional<Spread> spreadOf(std::vector<int64_t> values);

// The figures of one model, from the newest close (投入) and the newest trip
// (遮断) measurement of each of its breakers. Poles are the channels of the
// pole group in its order.
struct FleetModel {
    std::string maker;  // as first met
    std::string model;
    int breakers = 0;
    int measurements = 0;
    std::vector<std::optional<Spread>> closeUs;  // per pole
    std::vector<std::optional<Spread>> openUs;
    std::optional<Spread> closeSpreadUs;  // pole spread of the closes
    std::optional<Spread> openSpreadUs;
    // Breakers whose newest close or newest trip is 不合格.
    int failing = 0;
};

// Collects the measurements of breakers one at a time. Only the figures
// and the verdict of the newest of each kind of each breaker are kept, each
// judged by the limits of the name it is filed under. A name's measurements
// come one after another: the figures are worked out once a name is done,
// for the measurements of it that are still the newest, so a breaker tested
// many times under one name costs one working out.
// The newest close or trip of one breaker as a tally keeps it. Outside the
// tally's class: clang takes a nested struct with member initializers as not
// default-constructible while the enclosing class is being defined.
struct FleetNewest {
    support::DateTimeValue date;
    std::array<std::optional<int64_t>, 8> poleUs;  // in pole-group order
    uint8_t poles = 0;
    std::optional<int64_t> spreadUs;
    bool fails = false;
    // Until its name is done: the measurement itself.
    std::unique_ptr<model::MeasurementRecord> pending;
};
struct FleetBreaker {
    std::optional<FleetNewest> close;
    std::optional<FleetNewest> open;
};

class FleetTally {
  public:
    explicit FleetTally(const LimitsBook& book) : book_(book) {}

    void add(const std::string& customer, const std::string& circuit, const std::string& name,
             model::MeasurementRecord record);

    // Every model, by maker and model as names sort.
    std::vector<FleetModel> models();

  private:
    struct NameLess {
        bool operator()(const std::string& a, const std::string& b) const {
            return model::compareNames(a, b) < 0;
        }
    };
    using Newest = FleetNewest;
    using Breaker = FleetBreaker;
    struct Model {
        std::string maker;
        std::string model;
        int measurements = 0;
        // By serial number folded as names compare: a fleet may hold a
        // breaker for nearly every measurement.
        std::unordered_map<std::string, Breaker> breakers;
    };

    // Works out the pending measurements of the name done, then takes the
    // name met.
    void enter(const std::string& customer, const std::string& circuit, const std::string& name);
    void settlePending();

    const LimitsBook& book_;
    std::map<std::string, std::map<std::string, Model, NameLess>, NameLess> makers_;
    std::string place_;  // the name whose measurements come now
    std::string customer_, circuit_, name_;
    std::vector<Newest*> pending_;
};

// The table as CSV (UTF-8, CR LF, a header row), as plmtool fleet --csv and
// PLMView write it: one row per model, times in milliseconds.
std::string fleetCsv(const std::vector<FleetModel>& models);

}  // namespace plm::analysis
