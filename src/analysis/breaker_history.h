#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/breaker.h"
#include "analysis/limits_file.h"
#include "analysis/trend.h"
#include "model/customer_tree.h"
#include "model/measurement_record.h"

// One breaker's history wherever it stood: its measurements under every name
// it was filed.
namespace plm::analysis {

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
