#pragma once

#include <QWidget>
#include <optional>

#include "analysis/analysis_report.h"
#include "chart/trend_plot.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace plm::app {

// The trend plot of chart::TrendPlot as a widget. Its date axis zooms as the
// chart's time axis does: Ctrl+wheel about the pointer, the wheel moves a
// zoomed view. New data starts with chart::readableView.
class CTrendPlotWidget : public QWidget {
    Q_OBJECT
  public:
    explicit CTrendPlotWidget(QWidget* parent = nullptr);
    void setData(std::optional<chart::TrendPlotData> data);
    const std::optional<chart::TrendPlotData>& data() const { return data_; }
    const chart::DateView& view() const { return view_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    double pixelsPerUnit() const;

    std::optional<chart::TrendPlotData> data_;
    chart::DateView view_;
};

// The trend of the shown measurement's name: the plot of the measurements of
// its kind with the limit lines, and a table of every measurement in date
// order with the differences to the reference; the selected row can be
// made the reference.
class CTrendView : public QWidget {
    Q_OBJECT
  public:
    explicit CTrendView(QWidget* parent = nullptr);

    void showReport(const analysis::AnalysisReport& report, bool closes);
    void clear();

    CTrendPlotWidget* plot() const { return plot_; }
    QTableWidget* table() const { return table_; }
    QPushButton* referenceButton() const { return reference_; }

  signals:
    // The user asks to make the measurement at this position under the name the reference.
    void referenceRequested(int index);
    // The user asks to see the measurement at this position over the chart (double click).
    void overlayRequested(int index);

  private:
    void requestReference();

    QLabel* caption_ = nullptr;
    CTrendPlotWidget* plot_ = nullptr;
    QTableWidget* table_ = nullptr;
    QPushButton* reference_ = nullptr;
};

}  // namespace plm::app
