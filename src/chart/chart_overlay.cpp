#include "chart/chart_overlay.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>

#include "chart/chart_plot.h"
#include "chart/qt_text.h"
#include "support/text_codec.h"

namespace plm::chart {
namespace {

const QColor kCursorAColor(0, 90, 200);
const QColor kCursorBColor(200, 40, 40);
const QColor kMarkColor(0, 130, 0);
const QColor kDragFill(0, 90, 200, 40);

// The operating-time table shows ten fields per channel; the tip lists as many changes.
constexpr size_t kTipChanges = 10;
// Where in a band (from its top) the cursor's state and the operating-time
// mark stand: between the ON and OFF levels, apart from each other.
constexpr double kStateAt = 0.5;
constexpr double kMarkAt = 0.78;

const ChannelEdges* traceOf(const ChartPlot& chart, int channel) {
    for (const ChannelEdges& trace : chart.traces()) {
        if (trace.channel == channel)
            return &trace;
    }
    return nullptr;
}

std::string msAt(const ChartPlot& chart, int64_t position) {
    return msLabel(static_cast<double>(position) * chart.periodMs(), chart.periodMs());
}

double bandHeight(const QRectF& plot, int channels) {
    return plot.height() / std::max(channels, 1);
}

// Text on a white box so that it stays readable over traces and grid.
void boxedText(QPainter& painter, const QPointF& topLeft, const QString& text,
               const QColor& color) {
    const QFontMetricsF metrics(painter.font());
    const QRectF box(topLeft, QSizeF(metrics.horizontalAdvance(text) + 6, metrics.height() + 2));
    painter.fillRect(box, QColor(255, 255, 255, 220));
    painter.setPen(color);
    painter.drawText(box, Qt::AlignCenter, text);
}

// Beside the line on the preferred side, unless the label would leave the plot there.
double labelLeft(const QPainter& painter, double x, const QString& text, const QRectF& plot,
                 bool preferLeft) {
    const double width = QFontMetricsF(painter.font()).horizontalAdvance(text) + 6;
    const double left = x - 3 - width;
    const double right = x + 3;
    if (preferLeft)
        return left < plot.left() ? right : left;
    return right + width > plot.right() ? left : right;
}

void paintCursor(QPainter& painter, const QRectF& plot, const ChartPlot& chart,
                 const SampleSpan& view, char name, int64_t position, const QColor& color,
                 bool labelsLeft) {
    const double x = sampleToX(static_cast<double>(position), view, plot.left(), plot.width());
    if (x < plot.left() - 0.5 || x > plot.right() + 0.5)
        return;
    painter.setPen(QPen(color, 1.0));
    painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    const QFontMetricsF metrics(painter.font());
    const QString time = qs(cursorText(chart, name, position));
    boxedText(painter, QPointF(labelLeft(painter, x, time, plot, labelsLeft), plot.top() + 2), time,
              color);
    const int channels = chart.channels();
    const double band = bandHeight(plot, channels);
    for (int k = 1; k <= channels; ++k) {
        const ChannelEdges* trace = traceOf(chart, k);
        if (!trace)
            continue;
        const QString state =
            stateAt(*trace, position, chart.xMax()) ? QStringLiteral("ON") : QStringLiteral("OFF");
        const double y = plot.top() + band * (k - 1 + kStateAt) - metrics.height() / 2;
        boxedText(painter, QPointF(labelLeft(painter, x, state, plot, labelsLeft), y), state,
                  color);
    }
}

void paintDelta(QPainter& painter, const QRectF& plot, const ChartPlot& chart,
                const SampleSpan& view, int64_t a, int64_t b) {
    const double xa = sampleToX(static_cast<double>(a), view, plot.left(), plot.width());
    const double xb = sampleToX(static_cast<double>(b), view, plot.left(), plot.width());
    const QString text = qs(deltaText(chart, a, b));
    const QFontMetricsF metrics(painter.font());
    const double width = metrics.horizontalAdvance(text) + 6;
    const double middle =
        std::clamp((xa + xb) / 2, plot.left() + width / 2, plot.right() - width / 2);
    // At the bottom, clear of the time labels at the top and the states in the bands.
    const double y = plot.bottom() - metrics.height() - 3;
    painter.setPen(QPen(Qt::black, 1.0, Qt::DashLine));
    painter.drawLine(QPointF(std::clamp(xa, plot.left(), plot.right()), y + metrics.height() / 2),
                     QPointF(std::clamp(xb, plot.left(), plot.right()), y + metrics.height() / 2));
    boxedText(painter, QPointF(middle - width / 2, y), text, Qt::black);
}

// A small triangle pointing at the stroke of each channel's first change, with its time.
void paintMarks(QPainter& painter, const QRectF& plot, const ChartPlot& chart,
                const SampleSpan& view) {
    const double band = bandHeight(plot, chart.channels());
    for (const ChannelEdges& trace : chart.traces()) {
        const std::optional<int64_t> operating = operatingChange(trace, chart.manualStart());
        if (!operating)
            continue;
        const int64_t position = *operating;
        const double x = sampleToX(static_cast<double>(position), view, plot.left(), plot.width());
        if (x < plot.left() || x > plot.right())
            continue;
        const double y = plot.top() + band * (trace.channel - 1 + kMarkAt);
        const QPolygonF triangle({QPointF(x + 1, y), QPointF(x + 8, y - 4), QPointF(x + 8, y + 4)});
        painter.setPen(Qt::NoPen);
        painter.setBrush(kMarkColor);
        painter.drawPolygon(triangle);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(kMarkColor);
        const QString text = qs(msAt(chart, position));
        painter.drawText(QPointF(x + 10, y + QFontMetricsF(painter.font()).ascent() / 2 - 1), text);
    }
}

}  // namespace

std::string cursorText(const ChartPlot& chart, char name, int64_t position) {
    return std::string(1, name) + " " + msAt(chart, position) + " ms";
}

std::string deltaText(const ChartPlot& chart, int64_t a, int64_t b) {
    return support::sj("Δt = B - A = ") + msAt(chart, b - a) + " ms";
}

std::string changeTimesText(const ChartPlot& chart, int channel) {
    const ChannelEdges* trace = traceOf(chart, channel);
    if (!trace || trace->edges.empty())
        return {};
    const std::string label = channelLabel(channel, "", 0);
    std::string text = label.substr(0, label.find('\r')) + support::sj(" 変化[ ms ]: ");
    const size_t shownCount = std::min(trace->edges.size(), kTipChanges);
    for (size_t i = 0; i < shownCount; ++i) {
        if (i > 0)
            text += ", ";
        text += msAt(chart, changePosition(trace->edges[i]));
    }
    if (trace->edges.size() > shownCount)
        text += support::sj(" ほか ") + std::to_string(trace->edges.size() - shownCount) +
                support::sj(" 件");
    return text;
}

int channelAtY(double y, const QRectF& plot, int channels) {
    if (channels <= 0 || y < plot.top() || y >= plot.bottom())
        return 0;
    return std::clamp(static_cast<int>((y - plot.top()) / bandHeight(plot, channels)) + 1, 1,
                      channels);
}

void paintOverlay(QPainter& painter, const QRectF& plot, const ChartPlot& chart,
                  const SampleSpan& view, const ChartOverlay& overlay) {
    if (!chart.hasTraces() || plot.width() <= 0 || view.length() <= 0)
        return;
    painter.save();
    painter.setClipRect(plot.adjusted(-1, -1, 1, 1), Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (overlay.dragRange) {
        const auto [x0, x1] = *overlay.dragRange;
        painter.fillRect(
            QRectF(QPointF(std::min(x0, x1), plot.top()), QPointF(std::max(x0, x1), plot.bottom())),
            kDragFill);
    }
    paintMarks(painter, plot, chart, view);
    // The left cursor labels to its left, the right one to its right, so that
    // close cursors keep their texts apart.
    const ChartCursors& c = overlay.cursors;
    if (c.a)
        paintCursor(painter, plot, chart, view, 'A', *c.a, kCursorAColor, c.b && *c.a <= *c.b);
    if (c.b)
        paintCursor(painter, plot, chart, view, 'B', *c.b, kCursorBColor, c.a && *c.b < *c.a);
    if (c.a && c.b)
        paintDelta(painter, plot, chart, view, *c.a, *c.b);
    painter.restore();
}

}  // namespace plm::chart
