#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/due.h"
#include "app/assets/asset_table.h"
#include "settings/app_settings.h"

class QSpinBox;

namespace plm::app {

class CPLMViewDoc;

// 点検予定: the measurement names overdue for their periodic test (red) and
// those due within the days chosen (amber), those without a valid test date
// first, then oldest first. A double click shows the newest measurement of
// the name.
class CDueView : public CAssetTable {
    Q_OBJECT
  public:
    // `today` stands in for the date of the computer.
    CDueView(CPLMViewDoc& doc, const settings::AppSettings& settings, QWidget* parent = nullptr,
             std::optional<analysis::CalendarDay> today = std::nullopt);

    // Lists the names again from the document's tree and LIMITS.INI; false
    // (after saying why) when the limits file does not read.
    bool refresh();

    QSpinBox* withinBox() const { return within_; }
    const std::vector<analysis::DueName>& names() const { return names_; }

    static QColor overdueColor();
    static QColor dueSoonColor();

  protected:
    std::string csvBytes() const override;

  private:
    void fill();
    void showRow(int row);

    CPLMViewDoc& doc_;
    int defaultIntervalMonths_;
    analysis::CalendarDay today_;
    QSpinBox* within_ = nullptr;
    std::vector<analysis::DueName> names_;
};

}  // namespace plm::app
