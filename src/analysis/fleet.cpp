#include "analysis/fleet.h"

#include <algorithm>

#include "analysis/figures.h"
#include "analysis/listing.h"
#include "analysis/verdict.h"
#include "support/text_codec.h"

namespace plm::analysis {
namespace {

// What the newest measurements of the breakers of one model give.
struct Figures {
    std::vector<std::vector<int64_t>> poles;
    std::vector<int64_t> spreads;

    void take(const MeasurementFigures& figures, const std::vector<int>& group) {
        if (poles.size() < group.size())
            poles.resize(group.size());
        for (size_t pole = 0; pole < group.size(); ++pole) {
            const size_t channel = static_cast<size_t>(group[pole] - 1);
            if (channel < figures.channels.size() && figures.channels[channel].operatingUs)
                poles[pole].push_back(*figures.channels[channel].operatingUs);
        }
        if (figures.poleSpreadUs)
            spreads.push_back(*figures.poleSpreadUs);
    }

    std::vector<std::optional<Spread>> perPole() const {
        std::vector<std::optional<Spread>> out;
        for (const std::vector<int64_t>& values : poles)
            out.push_back(spreadOf(values));
        return out;
    }
};

// Judges the measurement by the limits of its name and adds its figures;
// true when it fails.
template <class Filed>
bool judgeInto(const Filed& filed, const LimitsBook& book, Figures& into) {
    const Limits limits = book.effective(filed.customer, filed.circuit, filed.name);
    const std::vector<int> group = limits.poleGroupOrDefault();
    const MeasurementFigures figures = computeFigures(filed.record, group);
    into.take(figures, group);
    return judge(filed.record, figures, limits).verdict == Verdict::Fail;
}

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

std::optional<BreakerId> breakerOf(const model::TestConditions& conditions) {
    BreakerId id{support::trimMb(conditions.mcMaker), support::trimMb(conditions.mcType),
                 support::trimMb(conditions.mcNum)};
    if (id.serial.empty())
        return std::nullopt;
    return id;
}

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

void FleetTally::add(const std::string& customer, const std::string& circuit,
                     const std::string& name, const model::MeasurementRecord& record) {
    const std::optional<BreakerId> id = breakerOf(record.cond);
    if (!id)
        return;
    Model& m = makers_[id->maker][id->model];
    if (m.measurements++ == 0) {
        m.maker = id->maker;
        m.model = id->model;
    }
    Breaker& breaker = m.breakers[id->serial];
    std::optional<Filed>& newest = record.measureType == 0 ? breaker.close : breaker.open;
    if (!newest || replacesNewest(record.testDateTime, newest->record.testDateTime))
        newest = Filed{customer, circuit, name, record};
}

std::vector<FleetModel> FleetTally::models(const LimitsBook& book) const {
    std::vector<FleetModel> out;
    for (const auto& [makerKey, models] : makers_) {
        for (const auto& [modelKey, m] : models) {
            FleetModel row;
            row.maker = m.maker;
            row.model = m.model;
            row.breakers = static_cast<int>(m.breakers.size());
            row.measurements = m.measurements;
            Figures closes, opens;
            for (const auto& [serial, breaker] : m.breakers) {
                bool fails = false;
                if (breaker.close)
                    fails = judgeInto(*breaker.close, book, closes);
                if (breaker.open)
                    fails = judgeInto(*breaker.open, book, opens) || fails;
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
