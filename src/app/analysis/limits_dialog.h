#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "analysis/limits_file.h"

class QLineEdit;

namespace plm::app {

// "判定基準": the limits of the breaker model of the shown measurement, of
// its test circuit and of its measurement name side by side, every key an
// edit; an empty edit sets nothing. Without a model (型式) in the test
// conditions the model's column is disabled. OK checks every value, writes
// the limits file under its lock and closes.
class CLimitsDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr size_t kKeys = 7;

    static constexpr int kCircuit = 0;
    static constexpr int kName = 1;
    static constexpr int kModel = 2;

    CLimitsDialog(std::string customer, std::string circuit, std::string name,
                  const analysis::LimitsBook& book, QWidget* parent = nullptr,
                  std::optional<analysis::BreakerModel> model = std::nullopt);

    // Column kCircuit, kName or kModel.
    QLineEdit* edit(size_t key, int column) const { return edits_[column][key]; }

    // A refused value gets the focus and a stop message; the dialog stays open.
    void OnOK();

  private:
    // The limits typed in one column, or nullopt after telling the user what is wrong.
    std::optional<analysis::Limits> limitsOf(int column);

    std::string customer_;
    std::string circuit_;
    std::string name_;
    std::optional<analysis::BreakerModel> model_;
    bool modelEntered_ = false;  // the model had an entry when the dialog opened
    std::array<std::array<QLineEdit*, kKeys>, 3> edits_{};
};

}  // namespace plm::app
