#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "analysis/limits_file.h"

class QLabel;
class QPrinter;
class QTableWidget;
class QHBoxLayout;

namespace plm::app {

// A list over the whole tree (the fleet by model, the names due for a test):
// a caption, a table, and buttons to print it and to write it as CSV.
class CAssetTable : public QDialog {
    Q_OBJECT
  public:
    QTableWidget* table() const { return table_; }
    QLabel* caption() const { return caption_; }

    // The caption and the table as one or more printed pages.
    void printTo(QPrinter& printer) const;
    // Asks for a file and writes csvBytes() there; true when written.
    bool writeCsv();

  protected:
    // `csvFolder` (stored path) is where the CSV file dialog starts.
    CAssetTable(std::string csvFolder, QWidget* parent);
    // LIMITS.INI as it is now; none (after saying why) when it does not read.
    static std::optional<analysis::LimitsBook> loadLimitsBook();
    // What the CSV file holds (UTF-8).
    virtual std::string csvBytes() const = 0;
    // The row of controls above the table, for a view's own choices.
    QHBoxLayout* controls() const { return controls_; }

  private:
    void print();

    QLabel* caption_ = nullptr;
    QTableWidget* table_ = nullptr;
    QHBoxLayout* controls_ = nullptr;
    std::string csvFolder_;
};

}  // namespace plm::app
