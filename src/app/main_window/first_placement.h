#pragma once

#include <QRect>
#include <QSize>

namespace plm::app {

// The largest window a first start opens: on a larger screen a wider window
// only spreads the sheet's tables.
inline constexpr QSize kLargestFirstWindow{1920, 1200};

// The size of the window at a first start on a screen with this available size.
QSize firstWindowSize(const QSize& available);

// `window` moved, and made smaller where it does not fit, so that it lies
// within `area` (the available part of the screen it appears on).
QRect keptInside(const QRect& window, const QRect& area);

struct PaneWidths {
    int browser = 0;
    int dock = 0;
};

// The widths of the browser and the judgement pane beside a chart that needs
// `chart` pixels for its whole record, in `room` pixels. Each pane gets the
// width it wants while all three fit; else the chart keeps its width and the
// panes share what is left in proportion to what they want, each no narrower
// than a readable minimum. A browser width the user set (`browserKept`) stays.
PaneWidths fitPanes(int room, int chart, PaneWidths wanted, bool browserKept);

}  // namespace plm::app
