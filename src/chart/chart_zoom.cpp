#include "chart/chart_zoom.h"

#include <algorithm>
#include <cmath>

#include "chart/chart_plot.h"
#include "support/text_codec.h"

namespace plm::chart {
namespace {

// Relative slack for comparisons of computed steps and tick indices, far
// below anything a label shows.
constexpr double kSlack = 1e-9;

// Iterator to the first edge whose change lies after `position`.
auto firstChangeAfter(const std::vector<int64_t>& edges, double position) {
    return std::partition_point(edges.begin(), edges.end(), [&](int64_t e) {
        return static_cast<double>(changePosition(e)) <= position;
    });
}

// Iterator past the last edge whose change lies before `position`.
auto endOfChangesBefore(const std::vector<int64_t>& edges, double position) {
    return std::partition_point(edges.begin(), edges.end(), [&](int64_t e) {
        return static_cast<double>(changePosition(e)) < position;
    });
}

int decimalsFor(double step) {
    return std::max(0, static_cast<int>(std::ceil(-std::log10(step) - kSlack)));
}

}  // namespace

SampleSpan wholeRecord(int64_t xMax) {
    return {0.0, static_cast<double>(std::max<int64_t>(xMax, 0))};
}

double sampleToX(double sample, const SampleSpan& view, double left, double width) {
    const double length = view.length();
    return length > 0.0 ? left + (sample - view.first) * width / length : left;
}

double xToSample(double x, const SampleSpan& view, double left, double width) {
    return width > 0.0 ? view.first + (x - left) * view.length() / width : view.first;
}

SampleSpan clampSpan(SampleSpan span, int64_t xMax) {
    const double whole = static_cast<double>(std::max<int64_t>(xMax, 0));
    double length = std::clamp(span.length(), std::min(kMinSpanSamples, whole), whole);
    const double first = std::clamp(span.first, 0.0, whole - length);
    return {first, first + length};
}

SampleSpan zoomAround(const SampleSpan& view, double anchor, double factor, int64_t xMax) {
    if (!(factor > 0.0) || view.length() <= 0.0)
        return clampSpan(view, xMax);
    const double whole = static_cast<double>(std::max<int64_t>(xMax, 0));
    const double length =
        std::clamp(view.length() / factor, std::min(kMinSpanSamples, whole), whole);
    // Keep the anchor at the same fraction of the width.
    const double fraction = (anchor - view.first) / view.length();
    const double first = anchor - fraction * length;
    return clampSpan({first, first + length}, xMax);
}

SampleSpan panBy(const SampleSpan& view, double samples, int64_t xMax) {
    return clampSpan({view.first + samples, view.last + samples}, xMax);
}

SampleSpan spanBetween(double a, double b, int64_t xMax) {
    const double lo = std::min(a, b);
    const double hi = std::max(a, b);
    const double whole = static_cast<double>(std::max<int64_t>(xMax, 0));
    // A range too short to show grows around its middle.
    const double grow = std::max(0.0, std::min(kMinSpanSamples, whole) - (hi - lo)) / 2.0;
    return clampSpan({lo - grow, hi + grow}, xMax);
}

double tickStepMs(double spanMs, double width, double minSpacing, double periodMs) {
    double needed = width > 0.0 ? spanMs * minSpacing / width : spanMs;
    needed = std::max(needed, periodMs);
    if (!(needed > 0.0))
        return periodMs > 0.0 ? periodMs : 1.0;
    const double decade = std::pow(10.0, std::floor(std::log10(needed)));
    for (double mantissa : {1.0, 2.0, 5.0, 10.0}) {
        if (mantissa * decade >= needed * (1.0 - kSlack))
            return mantissa * decade;
    }
    return 10.0 * decade;
}

std::vector<GridLine> zoomGrid(const SampleSpan& view, double periodMs, bool inSeconds,
                               double width, double minSpacing) {
    std::vector<GridLine> lines;
    if (!(periodMs > 0.0) || view.length() <= 0.0)
        return lines;
    const double step = tickStepMs(view.length() * periodMs, width, minSpacing, periodMs);
    const double unit = inSeconds ? 1000.0 : 1.0;
    const int decimals = decimalsFor(step / unit);
    // Whole tick indices, so that no label collects rounding from additions.
    const auto firstTick = static_cast<int64_t>(std::ceil(view.first * periodMs / step - kSlack));
    const auto lastTick = static_cast<int64_t>(std::floor(view.last * periodMs / step + kSlack));
    for (int64_t k = firstTick; k <= lastTick; ++k) {
        const double ms = static_cast<double>(k) * step;
        lines.push_back({ms / periodMs, support::format("%.*f", decimals, ms / unit), false});
    }
    return lines;
}

std::optional<int64_t> operatingChange(const ChannelEdges& trace, bool manualStart) {
    if (manualStart && !trace.edges.empty() && trace.edges.front() == 1)
        return changePosition(1);
    const auto it = std::lower_bound(trace.edges.begin(), trace.edges.end(), int64_t{2});
    if (it == trace.edges.end())
        return std::nullopt;
    return changePosition(*it);
}

std::optional<int64_t> nextChange(const ChannelEdges& trace, double position) {
    const auto it = firstChangeAfter(trace.edges, position);
    if (it == trace.edges.end())
        return std::nullopt;
    return changePosition(*it);
}

std::optional<int64_t> previousChange(const ChannelEdges& trace, double position) {
    const auto it = endOfChangesBefore(trace.edges, position);
    if (it == trace.edges.begin())
        return std::nullopt;
    return changePosition(*std::prev(it));
}

std::optional<int64_t> nextChange(const std::vector<ChannelEdges>& traces, double position) {
    std::optional<int64_t> best;
    for (const ChannelEdges& trace : traces) {
        const std::optional<int64_t> found = nextChange(trace, position);
        if (found && (!best || *found < *best))
            best = found;
    }
    return best;
}

std::optional<int64_t> previousChange(const std::vector<ChannelEdges>& traces, double position) {
    std::optional<int64_t> best;
    for (const ChannelEdges& trace : traces) {
        const std::optional<int64_t> found = previousChange(trace, position);
        if (found && (!best || *found > *best))
            best = found;
    }
    return best;
}

std::optional<int64_t> nearestChange(const ChannelEdges& trace, double position, double reach) {
    // The change at the position itself counts as after it.
    const std::optional<int64_t> after = nextChange(trace, position - 0.5);
    const std::optional<int64_t> before = previousChange(trace, position);
    std::optional<int64_t> best;
    double bestDistance = reach;
    for (const std::optional<int64_t>& c : {before, after}) {
        if (!c)
            continue;
        const double distance = std::abs(static_cast<double>(*c) - position);
        if (distance <= bestDistance) {
            best = c;
            bestDistance = distance;
        }
    }
    return best;
}

int64_t snapToSample(double position, int64_t xMax) {
    const double clamped =
        std::clamp(position, 0.0, static_cast<double>(std::max<int64_t>(xMax, 0)));
    return static_cast<int64_t>(std::llround(clamped));
}

bool stateAt(const ChannelEdges& trace, int64_t position, int64_t xMax) {
    const int64_t sample = std::clamp<int64_t>(position + 1, 0, std::max<int64_t>(xMax, 0));
    const auto changes =
        std::upper_bound(trace.edges.begin(), trace.edges.end(), sample) - trace.edges.begin();
    return trace.initialOn != (changes % 2 == 1);
}

int periodDecimals(double periodMs) {
    if (!(periodMs > 0.0))
        return 0;
    for (int decimals = 0; decimals < 3; ++decimals) {
        const double scaled = periodMs * std::pow(10.0, decimals);
        if (std::abs(scaled - std::round(scaled)) < kSlack * std::max(1.0, scaled))
            return decimals;
    }
    return 3;
}

std::string msLabel(double ms, double periodMs) {
    return support::format("%.*f", periodDecimals(periodMs), ms);
}

}  // namespace plm::chart
