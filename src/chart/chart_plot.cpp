#include "chart/chart_plot.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QPolygonF>

#include <algorithm>

#include "chart/qt_text.h"
#include "chart/reference_overlay.h"
#include "chart/test_sheet.h"
#include "support/text_codec.h"

namespace plm::chart {
namespace {

const QColor kFrameColor(180, 180, 180);
const QColor kDotColor(200, 200, 200);

// Label step and full length in milliseconds of each measuring-time code;
// any code outside the table takes the last row.
struct GridScale {
    int stepMs;
    int fullMs;
};
constexpr GridScale kGridScales[8] = {{5, 50},     {10, 100},     {50, 500},     {100, 1000},
                                      {500, 5000}, {1000, 10000}, {2000, 20000}, {20000, 200000}};

std::string gridLabel(int32_t measTime, int64_t ms) {
    if (measTime >= 0 && measTime <= 3)
        return support::format("%d", static_cast<int>(ms));
    if (measTime == 4)
        return support::format("%1.1f", static_cast<double>(ms) * 0.001);
    return support::format("%d", static_cast<int>(static_cast<double>(ms) * 0.001));
}

constexpr double kTopSpace = 20.0;

// Least distance between the ticks of a zoomed axis: room for a label such
// as "12345.6" with air on both sides.
constexpr double kTickSpacing = 180.0;

// Under the plot: the grid labels start 30 units below its bottom edge.
constexpr double kGridLabelGap = 30.0;

double bottomSpace(double fontSize) {
    return kGridLabelGap + fontSize + 15.0;
}

// Two label lines per band and a little air.
double bandsMinimum(int bands, double fontSize) {
    return bands * (2.0 * fontSize * 1.1 + 10.0);
}

QString displayText(const std::string& cp932) {
    QString text = qs(cp932);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

}  // namespace

ChannelEdges findEdges(const model::MeasurementRecord& record, int channel) {
    ChannelEdges result;
    result.channel = channel;
    const auto& samples = record.contacts;
    if (samples.empty())
        return result;
    const unsigned bit = 1u << (channel - 1);
    bool on = (samples[0] & bit) != 0;
    result.initialOn = on;
    for (size_t i = 1; i < samples.size(); ++i) {
        const bool now = (samples[i] & bit) != 0;
        if (now != on) {
            result.edges.push_back(static_cast<int64_t>(i));
            on = now;
        }
    }
    return result;
}

double traceValue(int channels, int channel, bool on) {
    return 10.0 * (channels - channel) + (on ? 8.8 : 1.0);
}

std::vector<QPointF> stepPoints(const ChannelEdges& trace, int channels, int64_t xMax,
                                double minStep) {
    return stepPoints(trace, channels, wholeRecord(xMax), minStep);
}

std::vector<QPointF> stepPoints(const ChannelEdges& trace, int channels, const SampleSpan& view,
                                double minStep) {
    auto level = [&](bool on) { return traceValue(channels, trace.channel, on); };
    // Changes drawn left of the view only decide the level the line starts at.
    const auto firstInView = std::partition_point(
        trace.edges.begin(), trace.edges.end(),
        [&](int64_t e) { return static_cast<double>(changePosition(e)) < view.first; });
    const auto before = firstInView - trace.edges.begin();
    bool state = trace.initialOn != (before % 2 == 1);
    std::vector<QPointF> pts;
    pts.emplace_back(view.first, level(state));
    double clusterX = -1.0e300;  // x of the last vertical stroke
    for (auto it = firstInView; it != trace.edges.end(); ++it) {
        const int64_t e = *it;
        const double x0 = static_cast<double>(changePosition(e));
        if (x0 > view.last)
            break;
        const bool next = !state;
        if (minStep > 0.0 && x0 - clusterX < minStep) {
            // The stroke at clusterX already spans both levels: end the
            // cluster at the new level instead of drawing another one.
            pts.back() = QPointF(static_cast<double>(e), level(next));
            pts[pts.size() - 2].setY(level(next));
        } else {
            pts.emplace_back(x0, level(state));
            pts.emplace_back(x0, level(!state));
            pts.emplace_back(x0, level(next));
            pts.emplace_back(static_cast<double>(e), level(next));
            clusterX = x0;
        }
        state = next;
    }
    if (pts.back().x() < view.last || pts.size() == 1) {
        pts.emplace_back(view.last, level(state));
    }
    // Drop repeated points (a single change emits its stroke end twice).
    pts.erase(std::unique(pts.begin(), pts.end()), pts.end());
    return pts;
}

std::vector<GridLine> timeGrid(int64_t xMax, int32_t measTime) {
    std::vector<GridLine> lines;
    if (xMax <= 0)
        return lines;
    const GridScale scale = kGridScales[(measTime >= 0 && measTime <= 7) ? measTime : 7];
    const double step = static_cast<double>(xMax) * scale.stepMs / scale.fullMs;
    // Repeated addition can overshoot x_max by a rounding step and lose the
    // closing line; a tolerance far below one sample keeps it.
    const double limit = static_cast<double>(xMax) + step * 1e-9;
    double pos = 0.0;
    for (int j = 0; pos <= limit && j <= 10; ++j, pos += step) {
        lines.push_back({std::min(pos, static_cast<double>(xMax)),
                         gridLabel(measTime, static_cast<int64_t>(j) * scale.stepMs), false});
    }
    lines.back().last = true;
    return lines;
}

std::string cutComment(const std::string& comment, int commentLen) {
    const size_t limit = static_cast<size_t>(std::max(0, commentLen));
    if (comment.size() <= limit)
        return comment;
    // Scanned from the start: a trail byte can carry a lead-byte value.
    return comment.substr(0, support::mbSafeLength(comment, limit)) + "..";
}

std::string channelLabel(int channel, const std::string& comment, int commentLen) {
    const std::string& digits = support::sj("１２３４５６７８９");
    const size_t at = static_cast<size_t>(std::clamp(channel, 1, 9) - 1) * 2;
    return digits.substr(at, 2) + "CH\r\n" + cutComment(comment, commentLen);
}

void ChartPlot::BuildTraces(const model::MeasurementRecord& record) {
    traces_.clear();
    labels_.clear();
    channels_ = record.channelCount();
    measTime_ = record.measTime;
    periodMs_ = record.samplesToMs(1);
    measureOpe_ = record.measureOpe;
    xMax_ = 0;
    if (record.contacts.size() < 2)
        return;
    xMax_ = static_cast<int64_t>(record.contacts.size()) - 1;
    for (int k = channels_; k >= 1; --k)
        traces_.push_back(findEdges(record, k));
    for (int k = 1; k <= channels_; ++k) {
        labels_.push_back(channelLabel(k, record.cond.chComment[k - 1], style_.commentLen));
    }
}

double ChartPlot::labelColumnWidth() const {
    const QFontMetricsF metrics(sheetFont(style_.labelFontSize));
    return std::max(0, style_.commentLen + 2) * metrics.horizontalAdvance(QLatin1Char('A'));
}

double ChartPlot::minimumHeight() const {
    const int bands = channels_ > 0 ? channels_ : 8;
    return kTopSpace + bandsMinimum(bands, style_.labelFontSize) +
           bottomSpace(style_.labelFontSize);
}

QRectF ChartPlot::plotRect(const QRectF& block) const {
    const double left = block.left() + 10.0 + labelColumnWidth() + 15.0;
    const double top = block.top() + kTopSpace;
    return QRectF(QPointF(left, top),
                  QPointF(std::max(left, block.right() - 30.0),
                          std::max(top, block.bottom() - bottomSpace(style_.labelFontSize))));
}

QRectF ChartPlot::timeAxisRow(const QRectF& block) const {
    const QRectF plot = plotRect(block);
    return QRectF(plot.left(), plot.bottom() + kGridLabelGap, plot.width(),
                  QFontMetricsF(sheetFont(style_.labelFontSize)).height());
}

void ChartPlot::paint(QPainter& painter, const QRectF& rect, const PaintContext& ctx) const {
    if (traces_.empty())
        return;
    const QRectF plot = plotRect(rect);
    if (plot.width() <= 0.0 || plot.height() <= 0.0)
        return;
    painter.save();
    paintBands(painter, plot, ctx);
    paintGrid(painter, plot, ctx);
    paintLabels(painter, rect, plot);
    if (overlay_)
        overlay_->paint(painter, plot, channels_, xMax_, ctx);
    paintTraces(painter, plot, ctx);
    painter.restore();
}

void ChartPlot::paintBands(QPainter& painter, const QRectF& plot, const PaintContext& ctx) const {
    painter.setPen(QPen(kDotColor, ctx.lineWidth(), Qt::DotLine, Qt::FlatCap));
    const double band = plot.height() / channels_;
    for (int k = 1; k < channels_; ++k) {
        const double y = plot.top() + band * k;
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
    painter.setPen(QPen(kFrameColor, ctx.lineWidth(), Qt::SolidLine, Qt::SquareCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(plot);
}

void ChartPlot::paintGrid(QPainter& painter, const QRectF& plot, const PaintContext& ctx) const {
    const QFont font = sheetFont(style_.labelFontSize);
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    const bool zoomed = ctx.visible.has_value();
    const std::vector<GridLine> lines =
        zoomed ? zoomGrid(*ctx.visible, periodMs_, timeInSeconds(), plot.width(), kTickSpacing)
               : timeGrid(xMax_, measTime_);
    for (const GridLine& line : lines) {
        const double x =
            zoomed ? sampleToX(line.position, *ctx.visible, plot.left(), plot.width())
                   : plot.left() + plot.width() * line.position / static_cast<double>(xMax_);
        painter.setPen(QPen(kDotColor, ctx.lineWidth(), Qt::DotLine, Qt::FlatCap));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        const QString text = displayText(line.label);
        const double width = metrics.horizontalAdvance(text);
        double left = line.last ? plot.right() - width : x - 10.0;
        if (zoomed)
            left = std::min(left, plot.right() - width);
        painter.setPen(Qt::black);
        painter.drawText(QRectF(left, plot.bottom() + kGridLabelGap, width + 1.0, metrics.height()),
                         Qt::AlignLeft | Qt::AlignTop, text);
    }
}

void ChartPlot::paintLabels(QPainter& painter, const QRectF& block, const QRectF& plot) const {
    painter.setFont(sheetFont(style_.labelFontSize));
    painter.setPen(Qt::black);
    const double band = plot.height() / channels_;
    const double width = labelColumnWidth();
    for (int k = 1; k <= channels_; ++k) {
        const QRectF cell(block.left() + 10.0, plot.top() + band * (k - 1), width, band);
        painter.drawText(cell, Qt::AlignRight | Qt::AlignVCenter | Qt::TextWrapAnywhere,
                         displayText(labels_[k - 1]));
    }
}

void ChartPlot::paintTraces(QPainter& painter, const QRectF& plot, const PaintContext& ctx) const {
    painter.setClipRect(
        plot.adjusted(-ctx.lineWidth(), -ctx.lineWidth(), ctx.lineWidth(), ctx.lineWidth()),
        Qt::IntersectClip);
    // The steps are horizontal and vertical only: without antialiasing they
    // stay crisp, and a device pixel wide line takes the rasteriser's fast path.
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(Qt::black, ctx.lineWidth(), Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    if (ctx.unitsPerPixel >= 1.0) {
        pen.setCosmetic(true);
        pen.setWidthF(1.0);
    }
    painter.setPen(pen);
    const SampleSpan view = ctx.visible.value_or(wholeRecord(xMax_));
    const double sx = plot.width() / view.length();
    const double sy = plot.height() / (10.0 * channels_);
    // Changes closer than a device pixel merge into one stroke.
    const double minStep = ctx.unitsPerPixel / sx;
    QPolygonF line;
    for (const ChannelEdges& trace : traces_) {
        const std::vector<QPointF> pts = stepPoints(trace, channels_, view, minStep);
        line.resize(static_cast<qsizetype>(pts.size()));
        for (size_t i = 0; i < pts.size(); ++i) {
            line[static_cast<qsizetype>(i)] = QPointF(plot.left() + (pts[i].x() - view.first) * sx,
                                                      plot.bottom() - pts[i].y() * sy);
        }
        painter.drawPolyline(line);
    }
}

}  // namespace plm::chart
