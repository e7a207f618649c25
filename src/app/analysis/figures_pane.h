#pragma once

#include <QWidget>
#include <string>

#include "analysis/analysis_report.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace plm::app {

// The figures of the shown measurement: per channel the operating time,
// changes, bounce, final state and verdict with its reason, then the pole
// spread and the overall verdict in its colour; the limits they were held
// against below, with the buttons of the analysis.
class CFiguresPane : public QWidget {
    Q_OBJECT
  public:
    explicit CFiguresPane(QWidget* parent = nullptr);

    void showReport(const analysis::AnalysisReport& report);
    // No measurement, or a limits file that cannot be read: the text says why.
    void showNothing(const std::string& why);

    // Wide enough for the table's figures and a few words of its reasons.
    int fittingWidth() const;

    QTableWidget* table() const { return table_; }
    QLabel* verdictLabel() const { return verdict_; }
    QLabel* limitsLabel() const { return limits_; }
    QPushButton* limitsButton() const { return limitsButton_; }
    QCheckBox* overlayBox() const { return overlay_; }
    QCheckBox* printBox() const { return print_; }

  private:
    QLabel* verdict_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* limits_ = nullptr;
    QPushButton* limitsButton_ = nullptr;
    QCheckBox* overlay_ = nullptr;
    QCheckBox* print_ = nullptr;
};

// "合格" green, "不合格" red, "判定なし" grey.
QColor verdictQColor(analysis::Verdict verdict);

}  // namespace plm::app
