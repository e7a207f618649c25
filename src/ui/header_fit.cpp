#include "ui/header_fit.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <algorithm>

namespace plm::ui {

namespace {

// Room beside a title: the headers draw a single-line title 10 pixels from
// the left edge.
constexpr int kTitleMargin = 10;

int titleWidth(const QHeaderView& header, int section) {
    const QString title =
        header.model()->headerData(section, header.orientation(), Qt::DisplayRole).toString();
    int widest = 0;
    for (const QString& line : title.split(QLatin1Char('\n')))
        widest = std::max(widest, header.fontMetrics().horizontalAdvance(line));
    return widest + 2 * kTitleMargin;
}

}  // namespace

void resizeSectionsToFit(QHeaderView& header, const std::vector<int>& designedWidths) {
    if (!header.model())
        return;
    const int count = std::min(header.count(), static_cast<int>(designedWidths.size()));
    for (int section = 0; section < count; ++section)
        header.resizeSection(
            section, std::max(designedWidths[size_t(section)], titleWidth(header, section)));
}

}  // namespace plm::ui
