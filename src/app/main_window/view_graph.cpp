#include "app/main_window/view_graph.h"

#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <cmath>

#include "app/dialogs/csv_out_dialog.h"
#include "app/main_window/plm_view_doc.h"
#include "app/shell/app_context.h"
#include "chart/report_page.h"

namespace plm::app {

CViewGraph::CViewGraph(CPLMViewDoc& doc, QWidget* parent) : QAbstractScrollArea(parent), doc_(doc) {
    setObjectName("CViewGraph");
    setFrameShape(QFrame::NoFrame);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    rebuild();
}

void CViewGraph::onHint(const ViewHint& hint) {
    const bool had = hasRecord();
    switch (hint.code) {
        case HintNames:
            names_ = {hint.names[0], hint.names[1], hint.names[2]};
            return;
        case HintClear:
            records_.clear();
            break;
        case HintRecord:
            records_.push_back(hint.record);
            break;
        case HintValue104:
        case HintValue105:
        case HintValue106:
        case HintRebuild:
            rebuild();
            return;
        default:
            return;
    }
    if (had != hasRecord())
        emit recordsChanged();
}

void CViewGraph::rebuild() {
    sheet_.rebuild(appSettings(), names_, records_.empty() ? nullptr : &records_.front());
    updateScrollBars();
    viewport()->update();
}

double CViewGraph::pixelsPerUnit() const {
    return viewport()->logicalDpiY() / 254.0;
}

QSizeF CViewGraph::viewportUnits() const {
    const double ppu = pixelsPerUnit();
    return {viewport()->width() / ppu, viewport()->height() / ppu};
}

void CViewGraph::updateScrollBars() {
    const double ppu = pixelsPerUnit();
    const QSizeF content = sheet_.contentSize(viewportUnits());
    const int w = static_cast<int>(std::ceil(content.width() * ppu));
    const int h = static_cast<int>(std::ceil(content.height() * ppu));
    horizontalScrollBar()->setRange(0, std::max(0, w - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setRange(0, std::max(0, h - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(20);
}

void CViewGraph::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void CViewGraph::scrollContentsBy(int, int) {
    viewport()->update();
}

void CViewGraph::paintEvent(QPaintEvent*) {
    if (records_.empty())
        return;
    QPainter painter(viewport());
    const double ppu = pixelsPerUnit();
    const QPointF scroll(horizontalScrollBar()->value() / ppu, verticalScrollBar()->value() / ppu);
    sheet_.paint(painter, QRectF(viewport()->rect()), scroll);
}

void CViewGraph::OnCsvOut() {
    if (records_.empty())
        return;
    CCsvOut dialog(appSettings(), this);
    dialog.setSource({names_.level1, names_.level2, names_.level3}, records_.front());
    dialog.exec();
}

void CViewGraph::printTo(QPrinter& printer) const {
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    const QRectF page(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());
    chart::paintReportPage(painter, page, appSettings(), names_,
                           records_.empty() ? nullptr : &records_.front());
}

}  // namespace plm::app
