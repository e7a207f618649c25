#include "analysis/fleet.h"

#include <algorithm>

#include "analysis/breaker.h"
#include "analysis/figures.h"
#include "analysis/listing.h"
#include "analysis/verdict.h"
#include "support/text_codec.h"

namespace plm::analysis {
namespace {

// The values of each pole and of the spread over the breakers of a model.
struct Gathered {
    std::vector<std::vector<int64_t>> poles;
    std::vector<int64_t> spreads;

    template <class Newest>
    void take(const Newest& newest) {
        if (poles.size() < newest.poles)
            poles.resize(newest.poles);
        for (size_t p = 0; p < newest.poles; ++p) {
            if (newest.poleUs[p])
                poles[p].push_back(*newest.poleUs[p]);
        }
        if (newest.spreadUs)
            spreads.push_back(*newest.spreadUs);
    }

    std::vector<std::optional<Spread>> perPole() const {
        std::vector<std::optional<Spread>> out;
        for (const std::vector<int64_t>& values : poles)
            out.push_back(spreadOf(values));
        return out;
    }
};

std::string spreadFields(const std::optional<Spread>& s) {
    if (!s)
        return ",,";
    return msFromMicros(s->min) + "," + msFromMicros(s->median) + "," + msFromMicros(s->max);
}

size_t mostPoles(const std::vector<FleetModel>& models) {
    size_t most = 0;
    for (const FleetModel& m : models)
        most = std::max({most, m.closeUs.size(), m.openUs.size()});
    return most;
}

}  // namespace

std::optional<Spread> spreadOf(std::vector<int64_t> values) {
    if (values.empty())
        return std::nullopt;
    std::sort(values.begin(), values.end());
    const size_t half = values.size() / 2;
    const int64_t median = values.size() % 2
                               ? values[half]
                               : values[half - 1] + (values[half] - values[half - 1] + 1) / 2;
    return Spread{values.front(), median, values.back()};
}

void FleetTally::enter(const std::string& customer, const std::string& circuit,
                       const std::string& name) {
    std::string place = std::to_string(customer.size()) + ':' + customer +
                        std::to_string(circuit.size()) + ':' + circuit + name;
    if (place == place_)
        return;
    settlePending();
    customer_ = customer;
    circuit_ = circuit;
    name_ = name;
    place_ = std::move(place);
}

void FleetTally::settlePending() {
    for (Newest* newest : pending_) {
        const model::MeasurementRecord& record = *newest->pending;
        // Each under the limits of its name, its circuit and its own model.
        const Limits limits = book_.effective(customer_, circuit_, name_, record.cond);
        const std::vector<int> group = limits.poleGroupOrDefault();
        const MeasurementFigures figures = computeFigures(record, group);
        newest->spreadUs = figures.poleSpreadUs;
        newest->fails = judge(record, figures, limits).verdict == Verdict::Fail;
        newest->poles = 0;
        for (const int channel : group) {
            const size_t at = static_cast<size_t>(channel - 1);
            newest->poleUs[newest->poles++] =
                at < figures.channels.size() ? figures.channels[at].operatingUs : std::nullopt;
        }
        newest->pending.reset();
    }
    pending_.clear();
}

void FleetTally::add(const std::string& customer, const std::string& circuit,
                     const std::string& name, model::MeasurementRecord record) {
    const std::optional<analysis::Breaker> id = breakerOf(record.cond);
    if (!id)
        return;
    enter(customer, circuit, name);
    Model& m = makers_[id->maker][id->model];
    if (m.measurements++ == 0) {
        m.maker = id->maker;
        m.model = id->model;
    }
    Breaker& breaker = m.breakers[foldedName(id->serial)];
    std::optional<Newest>& newest = record.measureType == 0 ? breaker.close : breaker.open;
    if (newest && !replacesNewest(record.testDateTime, newest->date))
        return;
    if (!newest)
        newest.emplace();
    newest->date = record.testDateTime;
    if (newest->pending) {
        *newest->pending = std::move(record);
        return;
    }
    newest->pending = std::make_unique<model::MeasurementRecord>(std::move(record));
    pending_.push_back(&*newest);
}

std::vector<FleetModel> FleetTally::models() {
    settlePending();
    std::vector<FleetModel> out;
    for (const auto& [makerKey, models] : makers_) {
        for (const auto& [modelKey, m] : models) {
            FleetModel row;
            row.maker = m.maker;
            row.model = m.model;
            row.breakers = static_cast<int>(m.breakers.size());
            row.measurements = m.measurements;
            Gathered closes, opens;
            for (const auto& [serial, breaker] : m.breakers) {
                if (breaker.close)
                    closes.take(*breaker.close);
                if (breaker.open)
                    opens.take(*breaker.open);
                const bool fails = (breaker.close && breaker.close->fails) ||
                                   (breaker.open && breaker.open->fails);
                row.failing += fails ? 1 : 0;
            }
            row.closeUs = closes.perPole();
            row.openUs = opens.perPole();
            row.closeSpreadUs = spreadOf(closes.spreads);
            row.openSpreadUs = spreadOf(opens.spreads);
            out.push_back(std::move(row));
        }
    }
    return out;
}

std::string fleetCsv(const std::vector<FleetModel>& models) {
    const size_t poles = mostPoles(models);
    std::string out = "maker,model,breakers,measurements,failing";
    for (const char* kind : {"close", "open"}) {
        for (size_t p = 1; p <= poles; ++p) {
            for (const char* stat : {"min", "median", "max"})
                out += support::format(",%s_pole%zu_%s_ms", kind, p, stat);
        }
        for (const char* stat : {"min", "median", "max"})
            out += support::format(",%s_spread_%s_ms", kind, stat);
    }
    out += "\r\n";
    for (const FleetModel& m : models) {
        out += csvField(support::toUtf8(m.maker)) + "," + csvField(support::toUtf8(m.model)) +
               support::format(",%d,%d,%d", m.breakers, m.measurements, m.failing);
        for (const auto* kind : {&m.closeUs, &m.openUs}) {
            for (size_t p = 0; p < poles; ++p)
                out += "," + spreadFields(p < kind->size() ? (*kind)[p] : std::nullopt);
            out += "," + spreadFields(kind == &m.closeUs ? m.closeSpreadUs : m.openSpreadUs);
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace plm::analysis
