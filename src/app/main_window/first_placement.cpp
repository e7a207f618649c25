#include "app/main_window/first_placement.h"

#include <algorithm>

namespace plm::app {

namespace {

// Below these a pane shows too little to be of use: the browser its names,
// the judgement pane its table's figures.
constexpr int kNarrowestBrowser = 150;
constexpr int kNarrowestDock = 240;

}  // namespace

QSize firstWindowSize(const QSize& available) {
    return available.boundedTo(kLargestFirstWindow);
}

QRect keptInside(const QRect& window, const QRect& area) {
    QRect kept(window.topLeft(), window.size().boundedTo(area.size()));
    kept.moveLeft(std::clamp(kept.left(), area.left(), area.right() + 1 - kept.width()));
    kept.moveTop(std::clamp(kept.top(), area.top(), area.bottom() + 1 - kept.height()));
    return kept;
}

PaneWidths fitPanes(int room, int chart, PaneWidths wanted, bool browserKept) {
    const int spare = room - chart;
    if (browserKept) {
        return {wanted.browser,
                std::max(kNarrowestDock, std::min(wanted.dock, spare - wanted.browser))};
    }
    if (wanted.browser + wanted.dock <= spare)
        return wanted;
    const int browser = std::max(
        kNarrowestBrowser, spare * wanted.browser / std::max(1, wanted.browser + wanted.dock));
    return {browser, std::max(kNarrowestDock, spare - browser)};
}

}  // namespace plm::app
