#include "chart/reference_overlay.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>

#include "analysis/figures.h"
#include "chart/chart_plot.h"
#include "chart/qt_text.h"
#include "chart/test_sheet.h"

namespace plm::chart {
namespace {

const QColor kMuted(150, 170, 215);
constexpr double kDeltaFontSize = 25.0;

double scaleOf(const model::MeasurementRecord& shown, const model::MeasurementRecord& reference) {
    const std::optional<int64_t> ps = analysis::periodMicros(shown);
    const std::optional<int64_t> pr = analysis::periodMicros(reference);
    if (!ps || !pr)
        return 1.0;
    return static_cast<double>(*pr) / static_cast<double>(*ps);
}

std::string deltaText(const std::optional<int64_t>& shown, const std::optional<int64_t>& ref) {
    const std::string& delta = support::sj("Δ");
    if (!shown && !ref)
        return {};  // neither moved: nothing to compare
    if (!shown || !ref)
        return delta + "---";
    const int64_t us = *shown - *ref;
    return delta + (us > 0 ? "+" : "") + analysis::msFromMicros(us) + "ms";
}

}  // namespace

ReferenceOverlay::ReferenceOverlay(const model::MeasurementRecord& shown,
                                   const model::MeasurementRecord& reference) {
    const double scale = scaleOf(shown, reference);
    const int channels = std::min(shown.channelCount(), reference.channelCount());
    for (int k = 1; k <= channels && reference.contacts.size() >= 2; ++k) {
        const ChannelEdges edges = findEdges(reference, k);
        OverlayTrace trace{k, edges.initialOn, {}};
        for (int64_t e : edges.edges)
            trace.edges.push_back(1.0 + static_cast<double>(e - 1) * scale);
        traces_.push_back(std::move(trace));
    }
    const analysis::MeasurementFigures a = analysis::computeFigures(shown, {});
    const analysis::MeasurementFigures b = analysis::computeFigures(reference, {});
    for (size_t c = 0; c < a.channels.size(); ++c) {
        std::optional<int64_t> ref;
        if (c < b.channels.size())
            ref = b.channels[c].operatingUs;
        deltas_.push_back(deltaText(a.channels[c].operatingUs, ref));
    }
}

std::vector<QPointF> ReferenceOverlay::stepPoints(const OverlayTrace& trace, int channels,
                                                  int64_t xMax) const {
    const double end = static_cast<double>(xMax);
    bool on = trace.initialOn;
    std::vector<QPointF> pts{{0.0, traceValue(channels, trace.channel, on)}};
    for (double e : trace.edges) {
        if (e > end)
            break;
        const double x = std::max(0.0, e);
        pts.emplace_back(x, traceValue(channels, trace.channel, on));
        on = !on;
        pts.emplace_back(x, traceValue(channels, trace.channel, on));
    }
    pts.emplace_back(end, traceValue(channels, trace.channel, on));
    return pts;
}

void ReferenceOverlay::paint(QPainter& painter, const QRectF& plot, int channels, int64_t xMax,
                             const PaintContext& ctx) const {
    if (xMax <= 0 || channels <= 0)
        return;
    painter.save();
    painter.setClipRect(plot, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(kMuted, 3.0 * ctx.lineWidth(), Qt::SolidLine, Qt::FlatCap));
    const double sx = plot.width() / static_cast<double>(xMax);
    const double sy = plot.height() / (10.0 * channels);
    for (const OverlayTrace& trace : traces_) {
        if (trace.channel > channels)
            continue;
        QPolygonF line;
        for (const QPointF& p : stepPoints(trace, channels, xMax))
            line << QPointF(plot.left() + p.x() * sx, plot.bottom() - p.y() * sy);
        painter.drawPolyline(line);
    }
    painter.setFont(sheetFont(kDeltaFontSize));
    const double band = plot.height() / channels;
    for (size_t c = 0; c < deltas_.size() && static_cast<int>(c) < channels; ++c) {
        const QRectF cell(plot.left(), plot.top() + band * static_cast<double>(c),
                          plot.width() - 10.0, band);
        painter.setPen(QColor(70, 90, 150));
        painter.drawText(cell, Qt::AlignRight | Qt::AlignVCenter, qs(deltas_[c]));
    }
    painter.restore();
}

}  // namespace plm::chart
