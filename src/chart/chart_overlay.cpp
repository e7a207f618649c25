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

// Text on a white box so that it stays readable over the grid; a framed
// one stands apart from the axis labels it lies among.
void boxedText(QPainter& painter, const QPointF& topLeft, const QString& text, const QColor& color,
               bool framed = false) {
    const QFontMetricsF metrics(painter.font());
    const QRectF box(topLeft, QSizeF(metrics.horizontalAdvance(text) + 6, metrics.height() + 2));
    painter.fillRect(box, QColor(255, 255, 255, 220));
    painter.setPen(color);
    if (framed)
        painter.drawRect(box.adjusted(0, 0, -1, -1));
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

double textWidth(const QPainter& painter, const QString& text) {
    return QFontMetricsF(painter.font()).horizontalAdvance(text) + 6;
}

// Where the cursor times and the time between them stand: on the time axis
// row under the plot, in boxes as tall as the text, centred on the row.
struct AxisRow {
    QRectF row;
    double height = 0;

    QRectF box(double left, double width) const {
        return QRectF(left, row.center().y() - height / 2, width, height);
    }
};

AxisRow axisRowOf(const QPainter& painter, const QRectF& plot, const QRectF& axisRow) {
    const double height = QFontMetricsF(painter.font()).height() + 2;
    if (axisRow.isEmpty())
        return {QRectF(plot.left(), plot.bottom() + 2, plot.width(), height), height};
    return {axisRow, height};
}

// The cursor's line over the plot and down to its time on the axis row,
// and its channel states between the levels of each band. Returns the box
// of its time (empty when the cursor is outside the view).
QRectF paintCursor(QPainter& painter, const QRectF& plot, const AxisRow& axis,
                   const ChartPlot& chart, const SampleSpan& view, char name, int64_t position,
                   const QColor& color, bool labelsLeft) {
    const double x = sampleToX(static_cast<double>(position), view, plot.left(), plot.width());
    if (x < plot.left() - 0.5 || x > plot.right() + 0.5)
        return {};
    const QString time = qs(cursorText(chart, name, position));
    const QRectF timeBox =
        axis.box(labelLeft(painter, x, time, plot, labelsLeft), textWidth(painter, time));
    painter.setPen(QPen(color, 1.0));
    painter.drawLine(QPointF(x, plot.top()), QPointF(x, timeBox.bottom()));
    boxedText(painter, timeBox.topLeft(), time, color, true);
    const QFontMetricsF metrics(painter.font());
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
    return timeBox;
}

// Centred between the cursors on the axis row when it fits there beside
// their times, else beside the later time, else beside the earlier one.
double deltaLeft(double middle, double width, const QRectF& plot, const QRectF& first,
                 const QRectF& second) {
    const auto clear = [&](double left) {
        const QRectF box(left, 0, width, 1);
        const auto apart = [&box](const QRectF& other) {
            return other.isEmpty() || box.right() <= other.left() - 2 ||
                   box.left() >= other.right() + 2;
        };
        return left >= plot.left() && left + width <= plot.right() && apart(first) && apart(second);
    };
    const double later = std::max(first.right(), second.right()) + 6;
    const double earlier = std::min(first.isEmpty() ? plot.right() : first.left(),
                                    second.isEmpty() ? plot.right() : second.left()) -
                           6 - width;
    for (double left : {middle - width / 2, later, earlier}) {
        if (clear(left))
            return left;
    }
    return std::clamp(middle - width / 2, plot.left(), std::max(plot.left(), plot.right() - width));
}

// Δt on the axis row, and a dashed line joining the cursors just under the
// plot, in the gap above the axis labels.
void paintDelta(QPainter& painter, const QRectF& plot, const AxisRow& axis, const ChartPlot& chart,
                const SampleSpan& view, int64_t a, int64_t b, const QRectF& timeA,
                const QRectF& timeB) {
    const double xa = sampleToX(static_cast<double>(a), view, plot.left(), plot.width());
    const double xb = sampleToX(static_cast<double>(b), view, plot.left(), plot.width());
    const QString text = qs(deltaText(chart, a, b));
    const double width = textWidth(painter, text);
    const double y = (plot.bottom() + axis.box(0, 0).top()) / 2;
    painter.setPen(QPen(Qt::black, 1.0, Qt::DashLine));
    painter.drawLine(QPointF(std::clamp(xa, plot.left(), plot.right()), y),
                     QPointF(std::clamp(xb, plot.left(), plot.right()), y));
    const double left = deltaLeft((xa + xb) / 2, width, plot, timeA, timeB);
    boxedText(painter, axis.box(left, width).topLeft(), text, Qt::black, true);
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
    const AxisRow axis = axisRowOf(painter, plot, overlay.axisRow);
    const QRectF clip = plot.united(axis.box(plot.left(), plot.width()));
    painter.setClipRect(clip.adjusted(-1, -1, 1, 1), Qt::IntersectClip);
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
    QRectF timeA;
    QRectF timeB;
    if (c.a)
        timeA = paintCursor(painter, plot, axis, chart, view, 'A', *c.a, kCursorAColor,
                            c.b && *c.a <= *c.b);
    if (c.b)
        timeB = paintCursor(painter, plot, axis, chart, view, 'B', *c.b, kCursorBColor,
                            c.a && *c.b < *c.a);
    if (c.a && c.b)
        paintDelta(painter, plot, axis, chart, view, *c.a, *c.b, timeA, timeB);
    painter.restore();
}

}  // namespace plm::chart
