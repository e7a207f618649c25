#pragma once

#include <QRectF>

#include <cstdint>
#include <optional>
#include <vector>

#include "chart/chart_overlay.h"
#include "chart/chart_zoom.h"

// The state of the screen chart between paints: which part of the record it
// shows and where the two cursors stand. Every operation takes pointer
// positions in the pixels of the plot it is given, so a widget only forwards
// its events.
namespace plm::chart {

struct ChannelEdges;

class ChartNavigator {
  public:
    // A new record: the whole of it, no cursors.
    void reset(int64_t xMax);

    int64_t xMax() const { return xMax_; }
    const SampleSpan& view() const { return view_; }
    // The zoomed part, or nothing while the whole record shows (which then
    // gets the designed ten divisions).
    std::optional<SampleSpan> visible() const;

    void showWhole() { view_ = wholeRecord(xMax_); }
    void zoomAt(double x, const QRectF& plot, double factor);
    // Moves the record with the pointer: dragging right shows earlier samples.
    void panPixels(double dx, const QRectF& plot);
    void zoomToPixels(double x0, double x1, const QRectF& plot);

    const ChartCursors& cursors() const { return cursors_; }
    // Both cursors gone; the next click places A again.
    void clearCursors() {
        cursors_ = {};
        active_ = 'A';
    }
    // 'A' or 'B': the cursor the keys move (the one placed or moved last).
    char active() const { return active_; }
    // A click: A first, then B, after that the nearer of the two.
    void placeCursor(double x, const QRectF& plot);
    // The cursor whose line lies within `reach` pixels of x, nearer first.
    std::optional<char> cursorNear(double x, const QRectF& plot, double reach) const;
    void moveCursor(char which, double x, const QRectF& plot);
    // Jumps the active cursor to the next or previous change of a channel
    // (0: of any channel), from the view's left edge when no cursor stands
    // yet, and pans so that the cursor stays in view. False when there is
    // no such change.
    bool jump(const std::vector<ChannelEdges>& traces, int channel, bool forward);

  private:
    std::optional<int64_t>& cursor(char which) { return which == 'B' ? cursors_.b : cursors_.a; }
    void keepInView(int64_t position);

    int64_t xMax_ = 0;
    SampleSpan view_;
    ChartCursors cursors_;
    char active_ = 'A';
};

}  // namespace plm::chart
