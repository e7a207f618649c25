#include "chart/chart_overlay.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>

#include "chart/chart_plot.h"
#include "support/text_codec.h"

namespace plm::chart {
namespace {

const QColor kCursorAColor(0, 90, 200);
const QColor kCursorBColor(200, 40, 40);
const QColor kMarkColor(0, 130, 0);
const QColor kDragFill(0, 90, 200, 40);

// The operating-time table shows ten fields per channel; the tip lists as many changes.
constexpr size_t kTipChanges = 10;

QString shown(const std::string& cp932) {
    return QString::fromStdString(support::toUtf8(cp932));
}

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

// Y of a channel's level, as the trace draws it.
double levelY(const QRectF& plot, int channels, int channel, bool on) {
    return plot.bottom() - traceValue(channels, channel, on) * plot.height() / (10.0 * channels);
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

// Left of the line when the label would leave the plot on the right.
double labelLeft(const QPainter& painter, double x, const QString& text, const QRectF& plot) {
    const double width = QFontMetricsF(painter.font()).horizontalAdvance(text) + 6;
    return x + 3 + width > plot.right() ? x - 3 - width : x + 3;
}

void paintCursor(QPainter& painter, const QRectF& plot, const ChartPlot& chart,
                 const SampleSpan& view, char name, int64_t position, const QColor& color) {
    const double x = sampleToX(static_cast<double>(position), view, plot.left(), plot.width());
    if (x < plot.left() - 0.5 || x > plot.right() + 0.5)
        return;
    painter.setPen(QPen(color, 1.0));
    painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    const QFontMetricsF metrics(painter.font());
    const QString time = shown(cursorText(chart, name, position));
    boxedText(painter, QPointF(labelLeft(painter, x, time, plot), plot.top() + 2), time, color);
    const int channels = chart.channels();
    const double band = bandHeight(plot, channels);
    for (int k = 1; k <= channels; ++k) {
        const ChannelEdges* trace = traceOf(chart, k);
        if (!trace)
            continue;
        const QString state =
            stateAt(*trace, position, chart.xMax()) ? QStringLiteral("ON") : QStringLiteral("OFF");
        const double y = plot.top() + band * (k - 1) + band / 2 - metrics.height() / 2;
        boxedText(painter, QPointF(labelLeft(painter, x, state, plot), y), state, color);
    }
}

void paintDelta(QPainter& painter, const QRectF& plot, const ChartPlot& chart,
                const SampleSpan& view, int64_t a, int64_t b) {
    const double xa = sampleToX(static_cast<double>(a), view, plot.left(), plot.width());
    const double xb = sampleToX(static_cast<double>(b), view, plot.left(), plot.width());
    const QString text = shown(deltaText(chart, a, b));
    const QFontMetricsF metrics(painter.font());
    const double width = metrics.horizontalAdvance(text) + 6;
    const double middle =
        std::clamp((xa + xb) / 2, plot.left() + width / 2, plot.right() - width / 2);
    const double y = plot.top() + metrics.height() + 8;
    painter.setPen(QPen(Qt::black, 1.0, Qt::DashLine));
    painter.drawLine(QPointF(std::clamp(xa, plot.left(), plot.right()), y + metrics.height() / 2),
                     QPointF(std::clamp(xb, plot.left(), plot.right()), y + metrics.height() / 2));
    boxedText(painter, QPointF(middle - width / 2, y), text, Qt::black);
}

// A small triangle above the stroke of each channel's first change, with its time.
void paintMarks(QPainter& painter, const QRectF& plot, const ChartPlot& chart,
                const SampleSpan& view) {
    const int channels = chart.channels();
    for (const ChannelEdges& trace : chart.traces()) {
        if (trace.edges.empty())
            continue;
        const int64_t position = changePosition(trace.edges.front());
        const double x = sampleToX(static_cast<double>(position), view, plot.left(), plot.width());
        if (x < plot.left() || x > plot.right())
            continue;
        const double top = levelY(plot, channels, trace.channel, true) - 2;
        const QPolygonF triangle(
            {QPointF(x, top), QPointF(x - 4, top - 7), QPointF(x + 4, top - 7)});
        painter.setPen(Qt::NoPen);
        painter.setBrush(kMarkColor);
        painter.drawPolygon(triangle);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(kMarkColor);
        const QString text = shown(msAt(chart, position));
        painter.drawText(QPointF(x + 6, top - 1), text);
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
    const ChartCursors& c = overlay.cursors;
    if (c.a)
        paintCursor(painter, plot, chart, view, 'A', *c.a, kCursorAColor);
    if (c.b)
        paintCursor(painter, plot, chart, view, 'B', *c.b, kCursorBColor);
    if (c.a && c.b)
        paintDelta(painter, plot, chart, view, *c.a, *c.b);
    painter.restore();
}

}  // namespace plm::chart
