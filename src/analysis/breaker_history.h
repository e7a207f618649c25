#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/limits_file.h"
#include "analysis/trend.h"
#include "model/customer_tree.h"
#include "model/measurement_record.h"

// One breaker's history wherever it stood: a breaker is its maker, model and
// serial number (製造番号), and keeps them when it is moved to another panel
// or customer, so its measurements are found under every name it was filed.
namespace plm::analysis {

// CP932, as the test conditions hold them; each compares as names do.
struct Breaker {
    std::string maker;
    std::string model;
    std::string serial;  // never empty
};

// The breaker a measurement was taken of; none without a serial number.
std::optional<Breaker> breakerOf(const model::TestConditions& conditions);
bool isOf(const model::TestConditions& conditions, const Breaker& breaker);

struct BreakerPlace {
    std::string customer;
    std::string circuit;
    std::string name;
};

// The measurements of the breaker in test date order (those without a valid
// date first), each judged by the limits of its own place and model; the
// index of an entry is its position under its name. The reference is the
// first entry.
struct BreakerHistory {
    Trend trend;
    std::vector<BreakerPlace> places;  // the place of each entry of trend.entries

    // The entry of the measurement at `index` under that place, or -1.
    int entryOf(const BreakerPlace& place, int index) const;
};

// Gathers the history one measurement at a time, as a scan reads them.
class BreakerHistoryBuilder {
  public:
    BreakerHistoryBuilder(Breaker breaker, const LimitsBook& book);

    // Takes the measurement when it is of the breaker. Throws CxException as
    // the book does for limits it cannot read.
    void add(const BreakerPlace& place, int index, const model::MeasurementRecord& record);
    BreakerHistory finish() &&;

  private:
    Breaker breaker_;
    const LimitsBook& book_;
    std::vector<std::pair<TrendEntry, BreakerPlace>> found_;
};

// The history out of a whole tree.
BreakerHistory breakerHistory(const model::CustomerTree& tree, const Breaker& breaker,
                              const LimitsBook& book);

}  // namespace plm::analysis
