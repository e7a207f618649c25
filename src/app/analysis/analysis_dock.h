#pragma once

#include <QDockWidget>
#include <optional>

#include "analysis/analysis_report.h"
#include "app/analysis/chart_decorations.h"
#include "app/document/selection.h"

class QTabWidget;

namespace plm::app {

class CFiguresPane;
class CPLMViewDoc;
class CTrendView;

// "判定・傾向", beside the test sheet: the figures and verdict of the shown
// measurement and the trend of its name, recomputed whenever the chart view
// shows another measurement. It also lays the reference over the chart and
// adds the judgement page to the printout when the user asks for them.
class CAnalysisDock : public QDockWidget {
    Q_OBJECT
  public:
    CAnalysisDock(CPLMViewDoc& doc, ChartDecorations& view, QWidget* parent = nullptr);

    CFiguresPane& figures() const { return *figures_; }
    CTrendView& trend() const { return *trend_; }
    QTabWidget& tabs() const { return *tabs_; }
    const std::optional<analysis::AnalysisReport>& report() const { return report_; }

    // Wide enough for the judgement table (figures_pane.h).
    int fittingWidth() const;

    void refresh();
    void OnLimits();
    void markReference(int index);
    // Lays the measurement at this position under the name over the chart in
    // place of the reference, until another measurement is shown.
    void overlayMeasurement(int index);

  private:
    void applyOverlay();
    void applyPrint();
    void clear(const std::string& why);

    CPLMViewDoc& doc_;
    ChartDecorations& view_;
    QTabWidget* tabs_ = nullptr;
    CFiguresPane* figures_ = nullptr;
    CTrendView* trend_ = nullptr;
    std::optional<analysis::AnalysisReport> report_;
    std::optional<int> overlayIndex_;  // chosen by the user for the shown measurement
    Selection overlayFor_;             // the measurement that choice was made for
};

}  // namespace plm::app
