#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>

#include <optional>
#include <string>
#include <vector>

#include "analysis/limits.h"
#include "analysis/trend.h"
#include "chart/layout_grid.h"

// The trend of a measurement name drawn as a plot: the operating time of
// each pole against the test date with the limit lines above, the pole
// spread with its limit in a strip below. One parameter struct feeds the
// screen, the PDF page and the PNG image alike.
namespace plm::chart {

struct TrendPlotData {
    // One point per measurement of the kind shown (closes or trips), in date order.
    std::vector<double> x;           // 0 .. 1 across the plot
    std::vector<std::string> dates;  // "%Y/%m/%d" (CP932)
    std::vector<int> channels;       // the poles drawn, 1-based
    // series[k][i]: operating time (ms) of channels[k] at point i.
    std::vector<std::vector<std::optional<double>>> series;
    std::vector<std::optional<double>> spread;  // ms
    std::optional<double> minMs;                // operating-time limit lines
    std::optional<double> maxMs;
    std::optional<double> spreadMaxMs;
    int reference = -1;  // point of the reference, or -1 when it is of the other kind
    int highlight = -1;  // point of the measurement on show, or -1
};

// The points of one kind out of a trend: placed by test date when every one
// has a valid date and they span some time, else evenly in their order.
TrendPlotData trendPlotData(const analysis::Trend& trend, const analysis::Limits& limits,
                            bool closes, const std::vector<int>& channels, int highlightEntry);

// Round tick values that cover lo .. hi with at most maxTicks steps.
struct ValueAxis {
    double lo = 0.0;
    double hi = 1.0;
    double step = 1.0;
};
ValueAxis valueAxis(double lo, double hi, int maxTicks = 6);

// The points of a polyline reduced to at most four per column of the given
// width (first, lowest, highest, last): the line looks the same, but drawing
// costs the plot's width, not the number of measurements. Points ascend in x.
std::vector<QPointF> decimated(const std::vector<QPointF>& points, double columnWidth);

// The part of the date axis a plot shows, as fractions of the whole span
// (TrendPlotData::x): dates stay to scale, a zoomed view shows less time wider.
struct DateView {
    double from = 0.0;
    double to = 1.0;
    bool whole() const { return from <= 0.0 && to >= 1.0; }
    bool operator==(const DateView&) const = default;
};

// The view a plot starts with: the whole span, unless the newest
// measurements crowd at its end (tests days apart in a span of years); then
// the span that shows them readably apart, older ones zoomed out to.
DateView readableView(const TrendPlotData& data);

// `view` zoomed by `factor` (above 1: in) about `at` (0 .. 1 across the
// plot), kept inside the whole span; zoomed out as far as the whole span.
DateView zoomedView(const DateView& view, double at, double factor);

// `view` moved by `fraction` of its own width (positive: later), inside the whole span.
DateView pannedView(const DateView& view, double fraction);

// The colour of channel k (1-based) in every trend drawing.
QColor channelColor(int channel);

class TrendPlot : public CellBlock {
  public:
    explicit TrendPlot(TrendPlotData data, DateView view = {})
        : data_(std::move(data)), view_(view) {}
    const TrendPlotData& data() const { return data_; }

    // Where the panels' plots lie across `rect` (their left and right edges).
    static std::pair<double, double> plotSpan(const QRectF& rect);

    void paint(QPainter& painter, const QRectF& rect, const PaintContext& ctx) const override;

  private:
    void paintPanel(QPainter& painter, const QRectF& rect, const PaintContext& ctx,
                    const std::vector<std::vector<std::optional<double>>>& series,
                    const std::vector<QColor>& colors, const std::vector<double>& limits,
                    const std::string& caption, bool dateLabels) const;
    void paintDates(QPainter& painter, const QRectF& plot) const;
    double xOf(size_t point, const QRectF& plot) const;
    bool inView(size_t point) const;

    TrendPlotData data_;
    DateView view_;
};

}  // namespace plm::chart
