#pragma once

#include <QWidget>
#include <optional>

#include "analysis/analysis_report.h"
#include "analysis/breaker_history.h"
#include "chart/trend_plot.h"

class QComboBox;
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
// made the reference. In place of the name's, it shows the history of the
// shown measurement's breaker (by its serial number) wherever it was filed.
class CTrendView : public QWidget {
    Q_OBJECT
  public:
    enum Scope { ScopeName = 0, ScopeBreaker = 1 };

    explicit CTrendView(QWidget* parent = nullptr);

    void showReport(const analysis::AnalysisReport& report, bool closes);
    // `shownEntry`: the shown measurement's entry; `limits` those it is judged by.
    void showBreakerHistory(const analysis::BreakerHistory& history, int shownEntry,
                            const analysis::Limits& limits, bool closes);
    // The breaker scope for a measurement without a serial number.
    void showNoBreaker();
    void clear();

    Scope scope() const;
    QComboBox* scopeBox() const { return scope_; }
    CTrendPlotWidget* plot() const { return plot_; }
    QTableWidget* table() const { return table_; }
    QPushButton* referenceButton() const { return reference_; }

  signals:
    // The user chose between the name's trend and the breaker's history.
    void scopeChanged();
    // The user asks to make the measurement at this position under the name the reference.
    void referenceRequested(int index);
    // The user asks to see the measurement at this position over the chart (double click).
    void overlayRequested(int index);

  private:
    void requestReference();
    // The table of a trend; `places` (one per entry) adds the place column,
    // whose rows are not the shown name's.
    void fillTable(const analysis::Trend& trend, const std::vector<int>& poles, int shownEntry,
                   const std::vector<analysis::BreakerPlace>* places);

    QComboBox* scope_ = nullptr;
    QLabel* caption_ = nullptr;
    CTrendPlotWidget* plot_ = nullptr;
    QTableWidget* table_ = nullptr;
    QPushButton* reference_ = nullptr;
};

}  // namespace plm::app
