#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <memory>
#include <optional>
#include <string>

#include "chart/chart_plot.h"
#include "chart/layout_grid.h"
#include "model/measurement_record.h"
#include "settings/app_settings.h"

class QPainter;

// The test sheet of one measurement: header, conditions, signal and
// operating-time tables above the timing chart and its axis caption; the
// printed page adds the report title row. All sizes are in 0.1 mm.
namespace plm::chart {

// The names the shown measurement is filed under (CP932).
struct SheetNames {
    std::string level1;  // customer
    std::string level2;  // test circuit
    std::string level3;  // measurement data name
};

// The designed table face, "ＭＳ ゴシック", resolved to the installed
// metric-compatible Japanese face; sizes are in 0.1 mm.
QFont sheetFont(double size);

class TestSheet {
  public:
    enum class Target { Screen, Print };

    // Width under which the sheet scrolls sideways: the narrowest at which
    // every label of the tables still fits whole in its cell (投入･遮断信号
    // in an 11 % column, 温度[℃] in a 7 % one).
    static constexpr double kMinWidth = 1850.0;

    explicit TestSheet(Target target = Target::Screen);

    // BuildLayout, then, with a record, FillTables and BuildTraces. `record`
    // is the first record of the view, or null when it holds none.
    void rebuild(const settings::AppSettings& settings, const SheetNames& names,
                 const model::MeasurementRecord* record);

    void BuildLayout(const settings::AppSettings& settings, const model::MeasurementRecord* first);
    // Both write nothing for a record whose date is not valid.
    void FillTables(const SheetNames& names, const model::MeasurementRecord& record);
    void BuildTraces(const model::MeasurementRecord& record);

    // The reference drawn under the chart's traces until the next rebuild; null for none.
    void setOverlay(std::shared_ptr<const ReferenceOverlay> overlay) {
        chart_->setOverlay(std::move(overlay));
    }

    // Sum of the fixed rows.
    double fixedHeight() const { return layout_->fixedHeight(); }
    // Height the chart row keeps at least when the window is small (room for
    // the two label lines of every band); below fixedHeight() plus this, the
    // sheet scrolls.
    double minChartHeight() const { return chart_->minimumHeight(); }
    // The size the sheet is laid out at for a viewport of that size (both in
    // 0.1 mm): never smaller than the fixed rows and minimum chart need.
    QSizeF contentSize(const QSizeF& viewport) const;

    // Lays the sheet out for deviceRect (device pixels of the painter's
    // device, converted with its resolution) and paints the part that starts
    // at `scroll` (0.1 mm into the content). The painter's state is restored.
    // With `visible`, the chart shows that part of the sample axis.
    void paint(QPainter& painter, const QRectF& deviceRect, const QPointF& scroll = {},
               const std::optional<SampleSpan>& visible = std::nullopt);
    // Lays the sheet out into `rect` (0.1 mm) and paints it under the
    // painter's current transform, which must map 0.1 mm to the device.
    void paintUnits(QPainter& painter, const QRectF& rect, const PaintContext& ctx);

    Target target() const { return target_; }
    LayoutGrid& layout() { return *layout_; }
    const LayoutGrid& layout() const { return *layout_; }

    // The tables (null for the title outside print).
    LayoutGrid* titleTable() const { return title_; }
    LayoutGrid* headerTable() const { return header_; }
    LayoutGrid* conditionsTable() const { return conditions_; }
    LayoutGrid* signalTable() const { return signal_; }
    LayoutGrid* operatingTable() const { return operating_; }
    LayoutGrid* captionTable() const { return caption_; }
    const ChartPlot& chart() const { return *chart_; }
    // Where the chart's plot lies in the sheet as last laid out (0.1 mm).
    QRectF plotRect() const;
    // Where the row of its time axis labels lies (0.1 mm).
    QRectF timeAxisRow() const;

  private:
    QRectF chartBlock() const;
    void buildHeader(LayoutGrid& table, const settings::AppSettings& settings);
    void buildConditions(LayoutGrid& table);
    void buildSignal(LayoutGrid& table, const model::MeasurementRecord* first);
    void buildOperating(LayoutGrid& table, int channels);
    void fillOperating(const model::MeasurementRecord& record);

    Target target_;
    std::unique_ptr<LayoutGrid> layout_;
    std::shared_ptr<ChartPlot> chart_;
    // The switches the layout was built with, kept for FillTables.
    int chattering_ = 1;
    int measureType_ = 1;
    int measureOpe_ = 1;
    int outsideTrigger_ = 1;
    LayoutGrid* title_ = nullptr;
    LayoutGrid* header_ = nullptr;
    LayoutGrid* conditions_ = nullptr;
    LayoutGrid* signal_ = nullptr;
    LayoutGrid* operating_ = nullptr;
    LayoutGrid* caption_ = nullptr;
};

// Device pixels per 0.1 mm of the painter's device.
double pixelsPerUnit(const QPainter& painter);

// What a printed page may use: `page` (in 0.1 mm) less the print margins,
// which are whole millimetres.
QRectF printArea(const settings::AppSettings& settings, const QRectF& page);

}  // namespace plm::chart
