#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "analysis/limits_file.h"

class QLineEdit;

namespace plm::app {

// "判定基準": the limits of a test circuit and of one of its measurement
// names side by side, every key an edit; an empty edit sets nothing. OK
// checks every value, writes the limits file under its lock and closes.
class CLimitsDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr size_t kKeys = 7;

    CLimitsDialog(std::string customer, std::string circuit, std::string name,
                  const analysis::LimitsBook& book, QWidget* parent = nullptr);

    // Column 0 the test circuit, column 1 the measurement name.
    QLineEdit* edit(size_t key, int column) const { return edits_[column][key]; }

    // A refused value gets the focus and a stop message; the dialog stays open.
    void OnOK();

  private:
    // The limits typed in one column, or nullopt after telling the user what is wrong.
    std::optional<analysis::Limits> limitsOf(int column);

    std::string customer_;
    std::string circuit_;
    std::string name_;
    std::array<std::array<QLineEdit*, kKeys>, 2> edits_{};
};

}  // namespace plm::app
