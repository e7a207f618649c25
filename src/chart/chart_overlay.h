#pragma once

#include <QRectF>

#include <cstdint>
#include <optional>
#include <string>

#include "chart/chart_zoom.h"

class QPainter;

// What the screen chart draws over the plot: the two cursors with their
// times, the state of every channel at each cursor and the time between
// them, the operating-time mark of every channel and a dragged zoom range.
// The printed page never draws any of it.
namespace plm::chart {

class ChartPlot;

struct ChartCursors {
    std::optional<int64_t> a;  // sample positions
    std::optional<int64_t> b;
};

struct ChartOverlay {
    ChartCursors cursors;
    // The row of the time axis labels under the plot (device pixels). The
    // cursor times and the time between them stand on it, where no trace
    // runs; empty: a row right under the plot.
    QRectF axisRow;
    // The x range (device pixels) of a range being dragged for zooming.
    std::optional<std::pair<double, double>> dragRange;
};

// Texts of the overlay (CP932).
std::string cursorText(const ChartPlot& chart, char name, int64_t position);
std::string deltaText(const ChartPlot& chart, int64_t a, int64_t b);
// "１CH 変化[ ms ]: 45.2, 45.4 ..." of a channel's first changes, for the
// hover tip; empty for a channel without changes.
std::string changeTimesText(const ChartPlot& chart, int channel);

// The channel (1-based) whose band holds y on a plot, or 0 outside the bands.
int channelAtY(double y, const QRectF& plot, int channels);

// Paints the overlay onto a plot that lies at `plot` in device pixels and
// shows `view` of the chart's samples, and onto its time axis row.
void paintOverlay(QPainter& painter, const QRectF& plot, const ChartPlot& chart,
                  const SampleSpan& view, const ChartOverlay& overlay);

}  // namespace plm::chart
