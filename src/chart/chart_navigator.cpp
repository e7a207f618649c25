#include "chart/chart_navigator.h"

#include <cmath>

#include "chart/chart_plot.h"

namespace plm::chart {

void ChartNavigator::reset(int64_t xMax) {
    xMax_ = xMax;
    view_ = wholeRecord(xMax);
    cursors_ = {};
    active_ = 'A';
}

std::optional<SampleSpan> ChartNavigator::visible() const {
    if (view_ == wholeRecord(xMax_))
        return std::nullopt;
    return view_;
}

void ChartNavigator::zoomAt(double x, const QRectF& plot, double factor) {
    const double anchor = xToSample(x, view_, plot.left(), plot.width());
    view_ = zoomAround(view_, anchor, factor, xMax_);
}

void ChartNavigator::panPixels(double dx, const QRectF& plot) {
    if (plot.width() <= 0)
        return;
    view_ = panBy(view_, -dx * view_.length() / plot.width(), xMax_);
}

void ChartNavigator::zoomToPixels(double x0, double x1, const QRectF& plot) {
    view_ = spanBetween(xToSample(x0, view_, plot.left(), plot.width()),
                        xToSample(x1, view_, plot.left(), plot.width()), xMax_);
}

void ChartNavigator::placeCursor(double x, const QRectF& plot) {
    char which = 'A';
    if (cursors_.a && !cursors_.b) {
        which = 'B';
    } else if (cursors_.a && cursors_.b) {
        const double at = xToSample(x, view_, plot.left(), plot.width());
        which = std::abs(at - static_cast<double>(*cursors_.a)) <=
                        std::abs(at - static_cast<double>(*cursors_.b))
                    ? 'A'
                    : 'B';
    }
    moveCursor(which, x, plot);
}

std::optional<char> ChartNavigator::cursorNear(double x, const QRectF& plot, double reach) const {
    std::optional<char> best;
    double bestDistance = reach;
    for (char which : {'A', 'B'}) {
        const std::optional<int64_t>& c = which == 'A' ? cursors_.a : cursors_.b;
        if (!c)
            continue;
        const double distance =
            std::abs(sampleToX(static_cast<double>(*c), view_, plot.left(), plot.width()) - x);
        if (distance <= bestDistance) {
            best = which;
            bestDistance = distance;
        }
    }
    return best;
}

void ChartNavigator::moveCursor(char which, double x, const QRectF& plot) {
    cursor(which) = snapToSample(xToSample(x, view_, plot.left(), plot.width()), xMax_);
    active_ = which;
}

bool ChartNavigator::jump(const std::vector<ChannelEdges>& traces, int channel, bool forward) {
    std::optional<int64_t>& c = cursor(active_);
    const double from =
        c ? static_cast<double>(*c) : (forward ? view_.first - 0.5 : view_.last + 0.5);
    std::optional<int64_t> found;
    if (channel == 0) {
        found = forward ? nextChange(traces, from) : previousChange(traces, from);
    } else {
        for (const ChannelEdges& trace : traces) {
            if (trace.channel == channel)
                found = forward ? nextChange(trace, from) : previousChange(trace, from);
        }
    }
    if (!found)
        return false;
    c = *found;
    keepInView(*found);
    return true;
}

void ChartNavigator::keepInView(int64_t position) {
    const double p = static_cast<double>(position);
    if (p >= view_.first && p <= view_.last)
        return;
    const double half = view_.length() / 2.0;
    view_ = clampSpan({p - half, p + half}, xMax_);
}

}  // namespace plm::chart
