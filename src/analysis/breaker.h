#pragma once

#include <optional>
#include <string>

#include "model/measurement_record.h"

// A breaker is its maker, model and serial number (製造番号) from the test
// conditions of its measurements. It keeps them when it is moved to another
// panel or customer, so they find it wherever it was filed.
namespace plm::analysis {

// CP932, blanks at the ends taken off; each compares as names do.
struct Breaker {
    std::string maker;
    std::string model;
    std::string serial;  // never empty
};

// The breaker a measurement was taken of; none without a serial number.
std::optional<Breaker> breakerOf(const model::TestConditions& conditions);
bool isOf(const model::TestConditions& conditions, const Breaker& breaker);

}  // namespace plm::analysis
