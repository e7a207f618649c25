#include "app/main_window/view_graph.h"

#include <QAction>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>
#include <cmath>

#include "app/dialogs/csv_out_dialog.h"
#include "app/document/plm_view_doc.h"
#include "app/shell/app_context.h"
#include "chart/analysis_page.h"
#include "chart/chart_overlay.h"
#include "chart/qt_text.h"
#include "chart/reference_overlay.h"
#include "chart/report_page.h"

namespace plm::app {

namespace {

// A press that moves less than this is a click, not a drag.
constexpr double kClickSlop = 4.0;
// How close (pixels) the pointer must come to a cursor line to grab it.
constexpr double kGrabReach = 5.0;
// One wheel notch zooms by this factor, or pans by this part of the view.
constexpr double kWheelZoom = 1.25;
constexpr double kWheelPan = 0.1;

const char* const kEmptyHint =
    "表示する測定データが選ばれていません。\n"
    "右の一覧から測定データを選んでください。\n"
    "測定データは「測定データ」メニューの「測定データの転送」で受信し、\n"
    "「ファイル」メニューの「データのインポート」で取り込めます。";

}  // namespace

CViewGraph::CViewGraph(CPLMViewDoc& doc, settings::AppSettings& settings, QWidget* parent)
    : QAbstractScrollArea(parent), doc_(doc), settings_(settings) {
    setObjectName("CViewGraph");
    setFrameShape(QFrame::NoFrame);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    auto* clear = new QAction(qsj("カーソルを消去"), this);
    clear->setObjectName("clearCursors");
    connect(clear, &QAction::triggered, this, &CViewGraph::clearCursors);
    addAction(clear);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    rebuild();
}

void CViewGraph::clearCursors() {
    nav_.clearCursors();
    viewport()->update();
}

void CViewGraph::showMeasurement(const ShownMeasurement& shown) {
    const bool had = hasRecord();
    names_ = {shown.names[0], shown.names[1], shown.names[2]};
    records_.clear();
    if (shown.record)
        records_.push_back(*shown.record);
    rebuild();
    if (had != hasRecord())
        emit recordsChanged();
}

void CViewGraph::rebuild() {
    sheet_.rebuild(settings_, names_, records_.empty() ? nullptr : &records_.front());
    nav_.reset(sheet_.chart().xMax());
    drag_ = Drag::None;
    dragRange_.reset();
    if (overlay_ && !records_.empty())
        sheet_.setOverlay(std::make_shared<chart::ReferenceOverlay>(records_.front(), *overlay_));
    updateScrollBars();
    viewport()->update();
}

double CViewGraph::pixelsPerUnit() const {
    return viewport()->logicalDpiY() / 254.0;
}

int CViewGraph::wholeWidth() const {
    return static_cast<int>(std::ceil(chart::TestSheet::kMinWidth * pixelsPerUnit())) +
           verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
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
    QPainter painter(viewport());
    if (records_.empty()) {
        paintEmptyHint(painter);
        return;
    }
    const double ppu = pixelsPerUnit();
    const QPointF scroll(horizontalScrollBar()->value() / ppu, verticalScrollBar()->value() / ppu);
    sheet_.paint(painter, QRectF(viewport()->rect()), scroll, nav_.visible());
    chart::ChartOverlay overlay;
    overlay.cursors = nav_.cursors();
    overlay.dragRange = dragRange_;
    overlay.axisRow = toPixels(sheet_.timeAxisRow());
    chart::paintOverlay(painter, plotPixels(), sheet_.chart(), nav_.view(), overlay);
}

void CViewGraph::paintEmptyHint(QPainter& painter) {
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(viewport()->rect().adjusted(20, 20, -20, -20),
                     Qt::AlignCenter | Qt::TextWordWrap, qsj(kEmptyHint));
}

QRectF CViewGraph::plotPixels() const {
    return toPixels(sheet_.plotRect());
}

QRectF CViewGraph::toPixels(const QRectF& units) const {
    const double ppu = pixelsPerUnit();
    const QPointF scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
    return QRectF(units.topLeft() * ppu - scroll, units.size() * ppu);
}

bool CViewGraph::overPlot(const QPointF& pos) const {
    return sheet_.chart().hasTraces() && plotPixels().contains(pos);
}

void CViewGraph::showWholeRecord() {
    nav_.showWhole();
    viewport()->update();
}

void CViewGraph::wheelEvent(QWheelEvent* event) {
    const QPointF pos = event->position();
    const double notches = event->angleDelta().y() / 120.0;
    const bool zoom = event->modifiers() & Qt::ControlModifier;
    // A plain wheel pans only a zoomed chart; otherwise it scrolls the sheet.
    if (!overPlot(pos) || notches == 0.0 || (!zoom && !nav_.visible())) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    const QRectF plot = plotPixels();
    if (zoom)
        nav_.zoomAt(pos.x(), plot, std::pow(kWheelZoom, notches));
    else
        nav_.panPixels(notches * kWheelPan * plot.width(), plot);
    event->accept();
    viewport()->update();
}

void CViewGraph::mousePressEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    if (!overPlot(pos)) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    pressPos_ = lastPos_ = pos;
    const bool pan =
        event->button() == Qt::MiddleButton ||
        (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier));
    if (pan) {
        drag_ = Drag::Pan;
    } else if (event->button() == Qt::LeftButton) {
        const std::optional<char> grabbed = nav_.cursorNear(pos.x(), plotPixels(), kGrabReach);
        drag_ = grabbed ? Drag::Cursor : Drag::Range;
        dragCursor_ = grabbed.value_or('A');
    }
    event->accept();
}

void CViewGraph::mouseMoveEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    const QRectF plot = plotPixels();
    switch (drag_) {
        case Drag::Pan:
            nav_.panPixels(pos.x() - lastPos_.x(), plot);
            break;
        case Drag::Cursor:
            nav_.moveCursor(dragCursor_, pos.x(), plot);
            break;
        case Drag::Range:
            if (std::abs(pos.x() - pressPos_.x()) >= kClickSlop)
                dragRange_ =
                    std::make_pair(pressPos_.x(), std::clamp(pos.x(), plot.left(), plot.right()));
            break;
        case Drag::None:
            showHover(pos, event->globalPosition().toPoint());
            return;
    }
    lastPos_ = pos;
    viewport()->update();
}

void CViewGraph::mouseReleaseEvent(QMouseEvent* event) {
    const QRectF plot = plotPixels();
    if (drag_ == Drag::Range) {
        if (dragRange_)
            nav_.zoomToPixels(dragRange_->first, dragRange_->second, plot);
        else
            nav_.placeCursor(pressPos_.x(), plot);
    }
    drag_ = Drag::None;
    dragRange_.reset();
    viewport()->update();
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void CViewGraph::showHover(const QPointF& pos, const QPoint& globalPos) {
    const QRectF plot = plotPixels();
    const int channel =
        overPlot(pos) ? chart::channelAtY(pos.y(), plot, sheet_.chart().channels()) : 0;
    const bool onCursor = channel != 0 && nav_.cursorNear(pos.x(), plot, kGrabReach).has_value();
    viewport()->setCursor(onCursor ? Qt::SizeHorCursor : Qt::ArrowCursor);
    if (channel == hoverChannel_)
        return;
    hoverChannel_ = channel;
    const std::string tip =
        channel ? chart::changeTimesText(sheet_.chart(), channel) : std::string();
    if (tip.empty())
        QToolTip::hideText();
    else
        QToolTip::showText(globalPos, qs(tip), viewport());
}

void CViewGraph::keyPressEvent(QKeyEvent* event) {
    if (!sheet_.chart().hasTraces()) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const QRectF plot = plotPixels();
    const bool anyChannel = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
            nav_.jump(sheet_.chart().traces(), anyChannel ? 0 : hoverChannel_,
                      event->key() == Qt::Key_Right);
            break;
        case Qt::Key_Home:
            nav_.showWhole();
            break;
        case Qt::Key_Escape:
            nav_.clearCursors();
            break;
        case Qt::Key_Plus:
        case Qt::Key_Minus:
            nav_.zoomAt(plot.center().x(), plot,
                        event->key() == Qt::Key_Plus ? kWheelZoom : 1.0 / kWheelZoom);
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    event->accept();
    viewport()->update();
}

void CViewGraph::OnCsvOut() {
    if (records_.empty())
        return;
    CCsvOut dialog(settings_, this);
    dialog.setSource({names_.level1, names_.level2, names_.level3}, records_.front());
    dialog.exec();
}

void CViewGraph::printTo(QPrinter& printer) const {
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    const QRectF page(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());
    chart::paintReportPage(painter, page, settings_, names_,
                           records_.empty() ? nullptr : &records_.front());
    if (printAnalysis_ && !records_.empty() && printer.newPage())
        chart::paintAnalysisPage(painter, page, settings_, names_, records_.front(),
                                 *printAnalysis_);
}

void CViewGraph::setOverlay(std::optional<model::MeasurementRecord> reference) {
    overlay_ = std::move(reference);
    rebuild();
}

void CViewGraph::setPrintAnalysis(std::optional<analysis::AnalysisReport> report) {
    printAnalysis_ = std::move(report);
}

}  // namespace plm::app
