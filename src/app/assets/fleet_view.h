#pragma once

#include <string>
#include <vector>

#include "analysis/fleet.h"
#include "app/assets/asset_table.h"
#include "settings/app_settings.h"

namespace plm::app {

class CPLMViewDoc;

// 型式別集計: per breaker maker and model, the breakers, their measurements,
// the smallest, median and largest time of each pole and pole spread of
// their newest closes and trips, and how many breakers fail now.
class CFleetView : public CAssetTable {
    Q_OBJECT
  public:
    CFleetView(CPLMViewDoc& doc, const settings::AppSettings& settings, QWidget* parent = nullptr);

    // Tallies the document's tree again; false (after saying why) when the
    // limits file does not read.
    bool refresh();

    const std::vector<analysis::FleetModel>& models() const { return models_; }

  protected:
    std::string csvBytes() const override;

  private:
    void fill();

    CPLMViewDoc& doc_;
    std::vector<analysis::FleetModel> models_;
};

}  // namespace plm::app
