#pragma once

#include <string>
#include <vector>

#include "app/data_sheet/data_sheet.h"
#include "model/measurement_record.h"
#include "settings/app_settings.h"

namespace plm::app {

// What a list column shows. The cell text of a record comes from cellText.
enum class CellKind {
    Tick,
    Number,
    StartDate,
    StartTime,
    StartDateTime,
    Period,
    MeasTime,
    Chattering,
    AcDc,
    OpSignal,
    Detection,
    VoltCurrent,
    Temperature,
    Humidity,
    Weather,
    Remarks,
    ChannelComment,
};

struct ColumnSpec {
    std::string header;  // CP932; "\n" splits a two-line header
    int width = 0;
    CellKind kind = CellKind::Number;
    int channel = 0;  // for ChannelComment, 0-based
};

// Width base of the measurement list, which depends on the mode and on the
// optional columns the device shows: fewer columns leave more room for the rest.
int measurementWidthBase(SheetMode mode, const settings::AppSettings& s);

// Columns of the measurement list (control 1009), left to right.
std::vector<ColumnSpec> measurementColumns(SheetMode mode, const settings::AppSettings& s,
                                           int channels);

// Columns of the transfer list (control 1025), left to right.
std::vector<ColumnSpec> transferColumns(const settings::AppSettings& s);

std::string cellText(const model::MeasurementRecord& r, const ColumnSpec& c);

// The designed widths of the columns, left to right.
std::vector<int> columnWidths(const std::vector<ColumnSpec>& columns);

// Caption of the measurement list: "測定データ一覧：  【 customer－circuit－name 】",
// each part only while it is selected (empty names stand for no selection).
std::string measurementListCaption(const std::string* customer, const std::string* circuit,
                                   const std::string* name);

}  // namespace plm::app
