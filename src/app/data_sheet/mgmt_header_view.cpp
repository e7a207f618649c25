#include "app/data_sheet/mgmt_header_view.h"

#include <QPainter>
#include <QStyleOptionButton>

namespace plm::app {

QFont proportionalGothic() {
    QFont f(QStringLiteral("IPAPGothic"));
    f.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
    f.setPointSize(9);
    return f;
}

MgmtHeaderView::MgmtHeaderView(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setFont(proportionalGothic());
    setSectionsClickable(false);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setMinimumHeight(2 * fontMetrics().height() + 8);
}

QSize MgmtHeaderView::sectionSizeFromContents(int logicalIndex) const {
    QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    size.setHeight(2 * fontMetrics().height() + 8);
    return size;
}

void MgmtHeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (!rect.isValid())
        return;
    QStyleOptionButton face;
    face.rect = rect;
    face.state = QStyle::State_Enabled | QStyle::State_Raised;
    style()->drawControl(QStyle::CE_PushButtonBevel, &face, painter, this);

    const QString text =
        model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();
    painter->save();
    painter->setFont(font());
    painter->setPen(palette().color(QPalette::ButtonText));
    const qsizetype cut = text.indexOf(QLatin1Char('\n'));
    if (cut >= 0) {
        QRect upper = rect;
        upper.setBottom(rect.top() + rect.height() / 2);
        QRect lower = rect;
        lower.setTop(upper.bottom() + 1);
        painter->drawText(upper, Qt::AlignCenter, text.left(cut));
        painter->drawText(lower, Qt::AlignCenter, text.mid(cut + 1));
    } else {
        painter->drawText(rect.adjusted(10, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
    }
    painter->restore();
}

}  // namespace plm::app
