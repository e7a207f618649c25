#include "analysis/breaker.h"

#include "model/name_compare.h"
#include "support/text_codec.h"

namespace plm::analysis {

std::optional<Breaker> breakerOf(const model::TestConditions& conditions) {
    Breaker breaker{support::trimMb(conditions.mcMaker), support::trimMb(conditions.mcType),
                    support::trimMb(conditions.mcNum)};
    if (breaker.serial.empty())
        return std::nullopt;
    return breaker;
}

bool isOf(const model::TestConditions& conditions, const Breaker& breaker) {
    const std::optional<Breaker> own = breakerOf(conditions);
    return own && model::sameName(own->serial, breaker.serial) &&
           model::sameName(own->model, breaker.model) && model::sameName(own->maker, breaker.maker);
}

}  // namespace plm::analysis
