#pragma once

#include <QHeaderView>

namespace plm::app {

// Header of the measurement list: every section is drawn as a push-button face.
// A text with a line break is drawn on two lines, each half centred in its own
// half of the section; any other text sits on one line, vertically centred,
// 10 pixels from the left edge.
class MgmtHeaderView : public QHeaderView {
    Q_OBJECT
  public:
    explicit MgmtHeaderView(QWidget* parent = nullptr);

  protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;
};

// The proportional Gothic face of the page's lists.
QFont proportionalGothic();

}  // namespace plm::app
