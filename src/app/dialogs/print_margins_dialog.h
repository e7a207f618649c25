#pragma once

#include <QDialog>
#include <array>

#include "settings/app_settings.h"

class QCheckBox;
class QLineEdit;
class QPrinter;

namespace plm::app {

// The print-margins dialog (CSetPrintBlank), "環境設定": the four print margins in whole
// millimetres (0 to 100).
class CSetPrintBlank : public QDialog {
    Q_OBJECT
  public:
    enum Margin { Top, Left, Bottom, Right };

    explicit CSetPrintBlank(settings::AppSettings& settings, QWidget* parent = nullptr);

    QLineEdit* marginEdit(Margin m) const { return edits_[m]; }

    // Checks every margin; the first refused one gets the focus and the dialog
    // stays open. Otherwise stores them into the settings and closes with OK.
    void OnOK();

  private:
    settings::AppSettings& settings_;
    std::array<QLineEdit*, 4> edits_{};
    QCheckBox* judgement_ = nullptr;
};

// False, after a stop message naming the settings, when the margins of the
// settings (which the file may hold beyond what this dialog takes) leave no
// room on the printer's page: printing would give a blank page.
bool printMarginsFit(const settings::AppSettings& settings, const QPrinter& printer);

}  // namespace plm::app
