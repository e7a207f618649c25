#pragma once

#include <QPointF>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "chart/chart_zoom.h"
#include "chart/layout_grid.h"
#include "model/measurement_record.h"

// The timing chart: one band per channel with the contact state drawn as a
// step trace over the sample positions, the channel labels left of the plot
// and a time grid of ten divisions under it. The geometry lives in plain
// functions so that it can be checked without painting.
namespace plm::chart {

// The state changes of one channel, found once per record: the trace is
// drawn from these, so drawing costs the number of changes, not of samples.
struct ChannelEdges {
    int channel = 1;             // 1-based; channel 1 is the top band
    bool initialOn = false;      // state at sample 0
    std::vector<int64_t> edges;  // every i > 0 whose state differs from sample i-1
};

ChannelEdges findEdges(const model::MeasurementRecord& record, int channel);

// Value (y axis, 0 at the bottom of the plot, 10 * n at the top) of channel
// k (1-based) of n in the given state: 8.8 above its band's bottom when ON,
// 1.0 when OFF.
double traceValue(int channels, int channel, bool on);

// The corner points of a channel's step line in (sample, value) space. At a
// change between samples i-1 and i the line runs at the old level to i-1,
// up or down to the new level, and on to i; it starts at sample 0 and ends
// at xMax. Changes that fall within minStep samples of the last drawn
// change are merged into one vertical stroke across both levels, so the
// point count stays bounded by the plot's width in pixels.
std::vector<QPointF> stepPoints(const ChannelEdges& trace, int channels, int64_t xMax,
                                double minStep = 0.0);
// The same line over a part of the axis: it starts at view.first at the
// level shown there and walks only the changes inside the view, so a zoomed
// frame costs the changes in view, not the record's.
std::vector<QPointF> stepPoints(const ChannelEdges& trace, int channels, const SampleSpan& view,
                                double minStep = 0.0);

struct GridLine {
    double position = 0.0;  // sample position
    std::string label;      // CP932
    bool last = false;      // its label ends at the plot's right edge
};

// Ten divisions of the measuring time over the samples 0 .. xMax, labelled
// as if the samples spanned exactly the measuring time of the code.
std::vector<GridLine> timeGrid(int64_t xMax, int32_t measTime);

// The channel comment cut to commentLen bytes plus "..", never ending
// inside a double-byte character.
std::string cutComment(const std::string& comment, int commentLen);

// "１CH\r\n" .. "９CH\r\n" (full-width digit) followed by the cut comment.
std::string channelLabel(int channel, const std::string& comment, int commentLen);

struct ChartStyle {
    int commentLen = 14;           // ChCommentLen as written in system.ini
    double labelFontSize = 31.75;  // 9 points in 0.1 mm
};

class ReferenceOverlay;

// The block "meas graph" of the test sheet.
class ChartPlot : public CellBlock {
  public:
    explicit ChartPlot(ChartStyle style = {}) : style_(style) {}

    // Takes the channels, edges, comments and measuring time of the record.
    // A record with fewer than 2 samples has no time axis: the chart is then
    // left empty and draws nothing.
    void BuildTraces(const model::MeasurementRecord& record);
    bool hasTraces() const { return !traces_.empty(); }
    int channels() const { return channels_; }
    int64_t xMax() const { return xMax_; }
    // Milliseconds between two samples, and whether the axis reads in seconds.
    double periodMs() const { return periodMs_; }
    bool timeInSeconds() const { return measTime_ >= 4; }
    // Whether the record was started by hand (the table then counts a change
    // between samples 0 and 1 as time 0).
    bool manualStart() const { return measureOpe_ == 1; }
    const std::vector<ChannelEdges>& traces() const { return traces_; }
    const std::vector<std::string>& labels() const { return labels_; }

    // A second measurement drawn under the traces; null draws none.
    void setOverlay(std::shared_ptr<const ReferenceOverlay> overlay) {
        overlay_ = std::move(overlay);
    }
    const ReferenceOverlay* overlay() const { return overlay_.get(); }

    // The least block height at which every band still holds its two label lines.
    double minimumHeight() const;

    // Where the plot itself lies inside the block's rectangle.
    QRectF plotRect(const QRectF& block) const;
    // The row of the time axis labels under the plot.
    QRectF timeAxisRow(const QRectF& block) const;

    void paint(QPainter& painter, const QRectF& rect, const PaintContext& ctx) const override;

  private:
    void paintBands(QPainter& painter, const QRectF& plot, const PaintContext& ctx) const;
    void paintLabels(QPainter& painter, const QRectF& block, const QRectF& plot) const;
    void paintGrid(QPainter& painter, const QRectF& plot, const PaintContext& ctx) const;
    void paintTraces(QPainter& painter, const QRectF& plot, const PaintContext& ctx) const;
    double labelColumnWidth() const;

    ChartStyle style_;
    int channels_ = 0;
    int64_t xMax_ = 0;
    int32_t measTime_ = 0;
    double periodMs_ = 1.0;
    int32_t measureOpe_ = 0;
    std::vector<ChannelEdges> traces_;  // channel n first, channel 1 last
    std::vector<std::string> labels_;   // channel 1 .. n
    std::shared_ptr<const ReferenceOverlay> overlay_;
};

}  // namespace plm::chart
