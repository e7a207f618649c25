#pragma once

#include <QPointF>
#include <QRectF>

#include <optional>
#include <string>
#include <vector>

#include "chart/layout_grid.h"
#include "model/measurement_record.h"

class QPainter;

// A second measurement (the reference of the name, as a rule) drawn under
// the traces of the chart in a muted colour, aligned at the command instant,
// with the difference of each channel's operating time written in its band.
namespace plm::chart {

struct OverlayTrace {
    int channel = 1;
    bool initialOn = false;
    std::vector<double> edges;  // change positions in samples of the shown record
};

class ReferenceOverlay {
  public:
    // The operating times are measured from sample 1, the instant of the
    // command: reference sample j lies at 1 + (j - 1) * its period / the
    // shown period (the same period when either is not known).
    ReferenceOverlay(const model::MeasurementRecord& shown,
                     const model::MeasurementRecord& reference);

    const std::vector<OverlayTrace>& traces() const { return traces_; }
    // "Δ+0.5ms" per channel 1..n of the shown record; "Δ---" where only one
    // of the two measurements has an operating time, "" where neither has.
    const std::vector<std::string>& deltas() const { return deltas_; }

    // The corner points of a channel's muted step line in (sample, value)
    // space of a chart of `channels` bands over 0 .. xMax.
    std::vector<QPointF> stepPoints(const OverlayTrace& trace, int channels, int64_t xMax) const;

    void paint(QPainter& painter, const QRectF& plot, int channels, int64_t xMax,
               const PaintContext& ctx) const;

  private:
    std::vector<OverlayTrace> traces_;
    std::vector<std::string> deltas_;
};

}  // namespace plm::chart
