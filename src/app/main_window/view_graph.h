#pragma once

#include <QAbstractScrollArea>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis_report.h"
#include "app/analysis/chart_decorations.h"
#include "chart/chart_navigator.h"
#include "chart/test_sheet.h"
#include "model/measurement_record.h"
#include "settings/app_settings.h"

class QPrinter;

namespace plm::app {

class CPLMViewDoc;
struct ShownMeasurement;

// The chart view: the test sheet of the first measurement it holds, the one
// the document shows. Scroll bars appear when the window is smaller
// than the sheet's fixed rows need. Over the plot, Ctrl+wheel or a dragged
// range zooms the time axis, the wheel (once zoomed) or a middle-button (or
// Shift) drag pans it, Home shows the whole record again, a click places cursor A and then B, a
// cursor line can be dragged, and Left/Right jump the active cursor to the previous/next change of
// the channel under the pointer (with Shift: of any channel).
class CViewGraph : public QAbstractScrollArea, public ChartDecorations {
    Q_OBJECT
  public:
    // `settings` give the layout of the sheet and the printed page.
    CViewGraph(CPLMViewDoc& doc, settings::AppSettings& settings, QWidget* parent = nullptr);

    // Holds and draws the shown measurement (none: the hint what to do).
    void showMeasurement(const ShownMeasurement& shown);

    // The width that shows the sheet with the chart's whole record, without
    // a horizontal scroll bar.
    int wholeWidth() const;

    bool hasRecord() const { return !records_.empty(); }
    const std::vector<model::MeasurementRecord>& records() const { return records_; }
    const chart::SheetNames& names() const { return names_; }
    const chart::TestSheet& sheet() const { return sheet_; }
    const chart::ChartNavigator& navigator() const { return nav_; }
    // Where the plot lies in the viewport's pixels, as last painted.
    QRectF plotPixels() const;

    // The whole record again, with the designed time grid.
    void showWholeRecord();
    // Escape and the context menu's カーソルを消去: cursors A and B go.
    void clearCursors();

    // Text output of the first measurement (the CSV dialog); does nothing
    // when the view holds none.
    void OnCsvOut();

    // Renders the printed page of the first measurement on the printer (one
    // page; blank when the view holds no measurement), and the judgement page
    // after it when one is set.
    void printTo(QPrinter& printer) const;

    // The measurement drawn muted under the traces (the reference); none for nullopt.
    void setOverlay(std::optional<model::MeasurementRecord> reference) override;
    bool hasOverlay() const override { return overlay_.has_value(); }
    // The judgement of the shown measurement, printed as a second page; none for nullopt.
    void setPrintAnalysis(std::optional<analysis::AnalysisReport> report) override;

  signals:
    // The record array went from empty to holding records or back.
    void recordsChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void rebuild();
    void updateScrollBars();
    double pixelsPerUnit() const;
    QSizeF viewportUnits() const;
    // A rectangle of the sheet (0.1 mm) in the viewport's pixels.
    QRectF toPixels(const QRectF& units) const;
    bool overPlot(const QPointF& pos) const;
    void showHover(const QPointF& pos, const QPoint& globalPos);
    void paintEmptyHint(QPainter& painter);

    enum class Drag { None, Range, Pan, Cursor };

    CPLMViewDoc& doc_;
    settings::AppSettings& settings_;
    chart::SheetNames names_;
    std::vector<model::MeasurementRecord> records_;
    chart::TestSheet sheet_{chart::TestSheet::Target::Screen};
    chart::ChartNavigator nav_;
    Drag drag_ = Drag::None;
    QPointF pressPos_;
    QPointF lastPos_;
    char dragCursor_ = 'A';
    std::optional<std::pair<double, double>> dragRange_;
    int hoverChannel_ = 0;
    std::optional<model::MeasurementRecord> overlay_;
    std::optional<analysis::AnalysisReport> printAnalysis_;
};

}  // namespace plm::app
