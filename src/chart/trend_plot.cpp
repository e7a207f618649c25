#include "chart/trend_plot.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "chart/test_sheet.h"
#include "support/text_codec.h"

namespace plm::chart {
namespace {

using support::sj;

constexpr double kFontSize = 25.0;
constexpr double kLeftMargin = 110.0;   // value labels
constexpr double kBottomMargin = 45.0;  // date labels
constexpr double kTopMargin = 55.0;     // caption and legend
constexpr double kRightMargin = 20.0;
// The newest measurements that a first view shows apart, and the least part
// of the plot's width they take in it.
constexpr size_t kNewest = 5;
constexpr double kNewestShare = 0.5;
// The least width of a view (of the whole span): a day in ten years.
constexpr double kNarrowestView = 1.0 / 3650.0;
const QColor kFrame(180, 180, 180);
const QColor kGrid(220, 220, 220);
const QColor kLimit(210, 0, 0);
const QColor kMarker(120, 120, 120);

QString qt(const std::string& cp932) {
    return QString::fromStdString(support::toUtf8(cp932));
}

std::optional<double> ms(const std::optional<int64_t>& us) {
    if (!us)
        return std::nullopt;
    return static_cast<double>(*us) / 1000.0;
}

std::optional<double> limitMs(const std::optional<int64_t>& us) {
    return ms(us);
}

// Range of every value and limit to show; a lone value gets some room around it.
std::pair<double, double> valueRange(const std::vector<std::vector<std::optional<double>>>& series,
                                     const std::vector<double>& limits) {
    double lo = INFINITY;
    double hi = -INFINITY;
    for (const auto& s : series) {
        for (const auto& v : s) {
            if (v) {
                lo = std::min(lo, *v);
                hi = std::max(hi, *v);
            }
        }
    }
    for (double l : limits) {
        lo = std::min(lo, l);
        hi = std::max(hi, l);
    }
    if (!std::isfinite(lo))
        return {0.0, 1.0};
    if (hi - lo < 1e-9) {
        const double room = std::max(1.0, std::abs(lo) * 0.05);
        return {lo - room, hi + room};
    }
    const double room = (hi - lo) * 0.08;
    return {lo - room, hi + room};
}

// As many decimals as the step needs: 2.5 shows 22.5, not 23.
QString tickText(double value, double step) {
    int decimals = 0;
    double scaled = step;
    while (decimals < 3 && std::abs(scaled - std::round(scaled)) > 1e-6) {
        scaled *= 10.0;
        ++decimals;
    }
    return QString::number(value, 'f', decimals);
}

}  // namespace

TrendPlotData trendPlotData(const analysis::Trend& trend, const analysis::Limits& limits,
                            bool closes, const std::vector<int>& channels, int highlightEntry) {
    TrendPlotData data;
    data.channels = channels;
    data.series.resize(channels.size());
    std::vector<double> dates;
    bool allDated = true;
    for (size_t i = 0; i < trend.entries.size(); ++i) {
        const analysis::TrendEntry& e = trend.entries[i];
        if ((e.measureType == 0) != closes)
            continue;
        const int point = static_cast<int>(dates.size());
        if (static_cast<int>(i) == trend.reference)
            data.reference = point;
        if (static_cast<int>(i) == highlightEntry)
            data.highlight = point;
        allDated = allDated && e.date.valid();
        dates.push_back(e.date.value);
        data.dates.push_back(support::formatDateTime(e.date, "%Y/%m/%d"));
        for (size_t k = 0; k < channels.size(); ++k) {
            const size_t c = static_cast<size_t>(channels[k] - 1);
            data.series[k].push_back(c < e.operatingUs.size() ? ms(e.operatingUs[c])
                                                              : std::nullopt);
        }
        data.spread.push_back(ms(e.poleSpreadUs));
    }
    const auto [lo, hi] = std::minmax_element(dates.begin(), dates.end());
    const bool byDate = allDated && !dates.empty() && *hi - *lo > 0.0;
    for (size_t i = 0; i < dates.size(); ++i) {
        if (byDate)
            data.x.push_back((dates[i] - *lo) / (*hi - *lo));
        else
            data.x.push_back(dates.size() > 1
                                 ? static_cast<double>(i) / static_cast<double>(dates.size() - 1)
                                 : 0.5);
    }
    data.minMs = limitMs(closes ? limits.closeMinUs : limits.openMinUs);
    data.maxMs = limitMs(closes ? limits.closeMaxUs : limits.openMaxUs);
    data.spreadMaxMs = limitMs(limits.poleSpreadMaxUs);
    return data;
}

DateView readableView(const TrendPlotData& data) {
    const size_t n = data.x.size();
    if (n <= kNewest)
        return {};
    const double newestSpan = data.x[n - 1] - data.x[n - kNewest];
    // Apart enough already: the newest take a tenth of the width or more.
    if (newestSpan >= 0.1 || newestSpan <= 0.0)
        return {};
    const double width = std::max(newestSpan / kNewestShare, kNarrowestView);
    // A little room after the newest, as the whole view has none.
    const double to = std::min(1.0, data.x[n - 1] + width * 0.04);
    return {std::max(0.0, to - width), to};
}

DateView zoomedView(const DateView& view, double at, double factor) {
    const double width = view.to - view.from;
    const double newWidth = std::clamp(width / factor, kNarrowestView, 1.0);
    const double pivot = view.from + std::clamp(at, 0.0, 1.0) * width;
    double from = pivot - (pivot - view.from) * newWidth / width;
    from = std::clamp(from, 0.0, 1.0 - newWidth);
    return {from, from + newWidth};
}

DateView pannedView(const DateView& view, double fraction) {
    const double width = view.to - view.from;
    const double from = std::clamp(view.from + fraction * width, 0.0, 1.0 - width);
    return {from, from + width};
}

ValueAxis valueAxis(double lo, double hi, int maxTicks) {
    // Decimal values are rarely exact doubles: a tiny tolerance keeps 44.9
    // from being taken as a hair below a step of 0.05.
    constexpr double kTolerance = 1e-9;
    const double span = std::max(hi - lo, 1e-9);
    const double raw = span / std::max(1, maxTicks);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = magnitude;
    for (double factor : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        step = factor * magnitude;
        if (step >= raw * (1.0 - kTolerance))
            break;
    }
    return {std::floor(lo / step + kTolerance) * step, std::ceil(hi / step - kTolerance) * step,
            step};
}

std::vector<QPointF> decimated(const std::vector<QPointF>& points, double columnWidth) {
    if (points.size() <= 4 || columnWidth <= 0.0)
        return points;
    std::vector<QPointF> out;
    size_t start = 0;
    while (start < points.size()) {
        const double column = std::floor(points[start].x() / columnWidth);
        size_t end = start;
        size_t lo = start;
        size_t hi = start;
        while (end < points.size() && std::floor(points[end].x() / columnWidth) == column) {
            if (points[end].y() < points[lo].y())
                lo = end;
            if (points[end].y() > points[hi].y())
                hi = end;
            ++end;
        }
        // First, the extremes in their order, last: the column looks the same.
        size_t keep[] = {start, std::min(lo, hi), std::max(lo, hi), end - 1};
        for (size_t j = 0; j < 4; ++j) {
            if (j == 0 || keep[j] != keep[j - 1])
                out.push_back(points[keep[j]]);
        }
        start = end;
    }
    return out;
}

QColor channelColor(int channel) {
    static const QColor colors[] = {{0, 90, 200},  {0, 150, 70},  {230, 120, 0}, {140, 60, 170},
                                    {150, 90, 40}, {0, 150, 160}, {200, 0, 150}, {90, 90, 90}};
    return colors[static_cast<size_t>((channel - 1) & 7)];
}

void TrendPlot::paint(QPainter& painter, const QRectF& rect, const PaintContext& ctx) const {
    if (data_.x.empty()) {
        painter.setFont(sheetFont(kFontSize));
        painter.setPen(Qt::black);
        painter.drawText(rect, Qt::AlignCenter, qt(sj("傾向を描く測定がありません")));
        return;
    }
    const double spreadHeight = rect.height() * 0.3;
    const QRectF top(rect.left(), rect.top(), rect.width(), rect.height() - spreadHeight);
    const QRectF bottom(rect.left(), top.bottom(), rect.width(), spreadHeight);
    std::vector<QColor> colors;
    for (int ch : data_.channels)
        colors.push_back(channelColor(ch));
    std::vector<double> limits;
    for (const auto& l : {data_.minMs, data_.maxMs}) {
        if (l)
            limits.push_back(*l);
    }
    paintPanel(painter, top, ctx, data_.series, colors, limits, sj("動作時間[ms]"), false);
    std::vector<double> spreadLimit;
    if (data_.spreadMaxMs)
        spreadLimit.push_back(*data_.spreadMaxMs);
    paintPanel(painter, bottom, ctx, {data_.spread}, {QColor(60, 60, 60)}, spreadLimit,
               sj("極間差[ms]"), true);
}

std::pair<double, double> TrendPlot::plotSpan(const QRectF& rect) {
    return {rect.left() + kLeftMargin, rect.right() - kRightMargin};
}

double TrendPlot::xOf(size_t point, const QRectF& plot) const {
    return plot.left() + (data_.x[point] - view_.from) / (view_.to - view_.from) * plot.width();
}

bool TrendPlot::inView(size_t point) const {
    constexpr double kEdge = 1e-9;
    return data_.x[point] >= view_.from - kEdge && data_.x[point] <= view_.to + kEdge;
}

void TrendPlot::paintPanel(QPainter& painter, const QRectF& rect, const PaintContext& ctx,
                           const std::vector<std::vector<std::optional<double>>>& series,
                           const std::vector<QColor>& colors, const std::vector<double>& limits,
                           const std::string& caption, bool dateLabels) const {
    const QRectF plot = rect.adjusted(kLeftMargin, kTopMargin, -kRightMargin, -kBottomMargin);
    if (plot.width() <= 0 || plot.height() <= 0)
        return;
    const auto [lo, hi] = valueRange(series, limits);
    const ValueAxis axis = valueAxis(lo, hi, 4);
    const auto yOf = [&](double v) {
        return plot.bottom() - (v - axis.lo) / (axis.hi - axis.lo) * plot.height();
    };
    const auto xOf = [&](size_t i) { return this->xOf(i, plot); };
    const double line = ctx.lineWidth();
    painter.save();
    painter.setFont(sheetFont(kFontSize));
    // Smooth lines cost more than the budget of a long trend allows; a few
    // points get them, with their dots.
    size_t pointsInView = 0;
    for (size_t i = 0; i < data_.x.size(); ++i)
        pointsInView += inView(i) ? 1 : 0;
    const bool dots = pointsInView <= 200;
    painter.setRenderHint(QPainter::Antialiasing, dots);

    // Caption and legend above the plot.
    painter.setPen(Qt::black);
    // Below the top edge by a little air, so that no accent of the caption
    // is cut by the widget's edge.
    QRectF captionRect(plot.left(), rect.top() + 8.0, plot.width(), kTopMargin - 13.0);
    painter.drawText(captionRect, Qt::AlignLeft | Qt::AlignVCenter, qt(caption));
    if (series.size() == data_.channels.size()) {
        double x = plot.right();
        for (size_t k = data_.channels.size(); k-- > 0;) {
            const QString name = QStringLiteral("CH%1").arg(data_.channels[k]);
            const double w = painter.fontMetrics().horizontalAdvance(name) + 60.0;
            x -= w;
            painter.setPen(QPen(colors[k], 3.0 * line));
            painter.drawLine(QPointF(x, captionRect.center().y()),
                             QPointF(x + 40.0, captionRect.center().y()));
            painter.setPen(Qt::black);
            painter.drawText(QRectF(x + 45.0, captionRect.top(), w, captionRect.height()),
                             Qt::AlignLeft | Qt::AlignVCenter, name);
        }
    }

    // Value grid with labels.
    for (double v = axis.lo; v <= axis.hi + axis.step * 1e-6; v += axis.step) {
        const double y = yOf(v);
        painter.setPen(QPen(kGrid, line));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(rect.left(), y - 15.0, kLeftMargin - 10.0, 30.0),
                         Qt::AlignRight | Qt::AlignVCenter, tickText(v, axis.step));
    }
    painter.setPen(QPen(kFrame, line));
    painter.drawRect(plot);
    // A zoomed view draws only what lies over its dates.
    painter.save();
    painter.setClipRect(plot.adjusted(-8.0, -8.0, 8.0, 8.0), Qt::IntersectClip);

    // The reference and the measurement on show.
    if (data_.reference >= 0) {
        const double x = xOf(static_cast<size_t>(data_.reference));
        painter.setPen(QPen(kMarker, line, Qt::DotLine));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter.drawText(QRectF(x + 5.0, plot.top(), 100.0, 30.0), Qt::AlignLeft | Qt::AlignTop,
                         qt(sj("基準")));
    }
    if (data_.highlight >= 0) {
        const double x = xOf(static_cast<size_t>(data_.highlight));
        painter.setPen(QPen(QColor(255, 200, 120), 4.0 * line));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }

    for (double l : limits) {
        painter.setPen(QPen(kLimit, 2.0 * line, Qt::DashLine));
        painter.drawLine(QPointF(plot.left(), yOf(l)), QPointF(plot.right(), yOf(l)));
    }

    // One polyline per series, broken where a value is missing.
    for (size_t k = 0; k < series.size(); ++k) {
        painter.setPen(QPen(colors[k], 2.0 * line));
        painter.setBrush(Qt::NoBrush);
        std::vector<QPointF> run;
        const auto flush = [&] {
            const std::vector<QPointF> points = decimated(run, ctx.unitsPerPixel);
            painter.drawPolyline(points.data(), static_cast<int>(points.size()));
            run.clear();
        };
        for (size_t i = 0; i < series[k].size(); ++i) {
            if (series[k][i])
                run.emplace_back(xOf(i), yOf(*series[k][i]));
            else
                flush();
        }
        flush();
        if (!dots)
            continue;
        painter.setBrush(colors[k]);
        for (size_t i = 0; i < series[k].size(); ++i) {
            if (series[k][i])
                painter.drawEllipse(QPointF(xOf(i), yOf(*series[k][i])), 6.0, 6.0);
        }
    }

    painter.restore();
    if (dateLabels)
        paintDates(painter, plot);
    painter.restore();
}

// At most six dates under the plot, the first and the last in view always:
// a date that would run into the newest one gives way to it.
void TrendPlot::paintDates(QPainter& painter, const QRectF& plot) const {
    std::vector<size_t> shown;
    for (size_t i = 0; i < data_.x.size(); ++i) {
        if (inView(i))
            shown.push_back(i);
    }
    if (shown.empty())
        return;
    const size_t n = shown.size();
    const size_t labels = std::min<size_t>(n, 6);
    const double width = 200.0;
    const auto leftOf = [&](size_t i) {
        return std::clamp(xOf(i, plot) - width / 2, plot.left() - 40.0,
                          plot.right() - width + 20.0);
    };
    const double newestLeft = leftOf(shown.back());
    painter.setPen(Qt::black);
    double lastRight = -INFINITY;
    for (size_t j = 0; j < labels; ++j) {
        const size_t i = shown[labels == 1 ? 0 : j * (n - 1) / (labels - 1)];
        const double left = leftOf(i);
        const bool newest = i == shown.back();
        if (left < lastRight || (!newest && left + width > newestLeft))
            continue;
        painter.drawText(QRectF(left, plot.bottom() + 5.0, width, kBottomMargin - 5.0),
                         Qt::AlignHCenter | Qt::AlignTop, qt(data_.dates[i]));
        lastRight = left + width;
    }
}

}  // namespace plm::chart
