#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Geometry of the zoomed screen chart in plain functions: the visible part
// of the sample axis, its mapping onto the plot, zoom and pan, readable time
// ticks, and the search for contact changes that the cursors jump to.
namespace plm::chart {

struct ChannelEdges;
struct GridLine;

// The visible part of the sample axis, in sample positions (fractional
// while zooming; the whole record is 0 .. xMax).
struct SampleSpan {
    double first = 0.0;
    double last = 0.0;

    double length() const { return last - first; }
    bool operator==(const SampleSpan&) const = default;
};

// The fewest samples a zoomed view shows: a single sampling step between two
// neighbouring samples stays readable on any plot width.
inline constexpr double kMinSpanSamples = 2.0;

SampleSpan wholeRecord(int64_t xMax);

// Linear map between a sample position and an x coordinate of a plot that
// starts at `left` and is `width` wide.
double sampleToX(double sample, const SampleSpan& view, double left, double width);
double xToSample(double x, const SampleSpan& view, double left, double width);

// The span moved and cut so that it lies within 0 .. xMax and is at least
// kMinSpanSamples long (or the whole record when that is shorter).
SampleSpan clampSpan(SampleSpan span, int64_t xMax);

// Zooms by `factor` (> 1 in, < 1 out) so that the sample under `anchor`
// stays under the pointer.
SampleSpan zoomAround(const SampleSpan& view, double anchor, double factor, int64_t xMax);

// Moves the view by `samples` without changing its length; it stops at
// either end of the record.
SampleSpan panBy(const SampleSpan& view, double samples, int64_t xMax);

// The span between two positions in either order, for a dragged range.
SampleSpan spanBetween(double a, double b, int64_t xMax);

// The tick step in milliseconds: the smallest of 1, 2, 5 times a power of
// ten that keeps ticks at least minSpacing apart on a plot `width` wide
// showing `spanMs`, and never finer than one sampling period.
double tickStepMs(double spanMs, double width, double minSpacing, double periodMs);

// Ticks of the visible span at tickStepMs, positioned in samples and
// labelled in milliseconds, or in seconds when `inSeconds` (as the axis
// caption says), with as many decimals as the step needs.
std::vector<GridLine> zoomGrid(const SampleSpan& view, double periodMs, bool inSeconds,
                               double width, double minSpacing);

// Where a channel's change is drawn: the step line turns at the sample
// before the first sample in the new state, so a change at edge e lies at
// position e - 1, whose time is the operating time the table shows.
inline int64_t changePosition(int64_t edge) {
    return edge - 1;
}

// The change the operating-time table gives as the channel's operating time
// (its first field): the first change after sample 1, as the table measures
// from sample 1's state, or with a manual start a change between samples 0
// and 1, which the table shows as 0.
std::optional<int64_t> operatingChange(const ChannelEdges& trace, bool manualStart);

// The first change strictly after / the last change strictly before a
// sample position, of one channel or of any channel.
std::optional<int64_t> nextChange(const ChannelEdges& trace, double position);
std::optional<int64_t> previousChange(const ChannelEdges& trace, double position);
std::optional<int64_t> nextChange(const std::vector<ChannelEdges>& traces, double position);
std::optional<int64_t> previousChange(const std::vector<ChannelEdges>& traces, double position);

// The change of a channel closest to a position, if any lies within `reach`.
std::optional<int64_t> nearestChange(const ChannelEdges& trace, double position, double reach);

// The sample a cursor dropped at a fractional position lands on.
int64_t snapToSample(double position, int64_t xMax);

// The level the step line shows right of a sample position: the line
// reaches sample i's level at position i - 1, so this is sample p + 1's state
// (the last sample's at the end of the record).
bool stateAt(const ChannelEdges& trace, int64_t position, int64_t xMax);

// Decimals a time in milliseconds needs at this sampling period (one for
// 0.1 ms, none for whole milliseconds).
int periodDecimals(double periodMs);

// A time in milliseconds at the sampling period's precision, e.g. "45.2".
std::string msLabel(double ms, double periodMs);

}  // namespace plm::chart
