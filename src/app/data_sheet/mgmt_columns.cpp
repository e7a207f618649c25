#include "app/data_sheet/mgmt_columns.h"

#include "support/text_codec.h"

namespace plm::app {

using support::sj;

int measurementWidthBase(SheetMode mode, const settings::AppSettings& s) {
    const bool noChat = s.chattering == 0;
    const bool noOpe = s.measureOpe == 0;
    const bool noTrig = s.outsideTrigger == 0;
    // Each hidden optional column hands its room to the remaining ones; the
    // narrower transfer-mode list gets smaller shares.
    int w = 0;
    if (mode == SheetMode::Transfer) {
        if (noChat)
            w = 6;
        if (noOpe)
            w += 6;
        if (noTrig)
            w += 29;
        if (noChat && noOpe && noTrig)
            w += 30;
    } else {
        w = 18;
        if (noChat)
            w = 29;
        if (noOpe)
            w += 11;
        if (noTrig)
            w += 41;
        if (noChat && noOpe && noTrig)
            w += 35;
    }
    return w;
}

std::vector<ColumnSpec> measurementColumns(SheetMode mode, const settings::AppSettings& s,
                                           int channels) {
    const int w = measurementWidthBase(mode, s);
    std::vector<ColumnSpec> cols = {
        {sj("№"), 30, CellKind::Number},
        {sj("測定開始日\n(年/月/日)"), w + 100, CellKind::StartDate},
        {sj("測定開始時\n(時/分/秒)"), w + 75, CellKind::StartTime},
        {sj("測定周期"), w + 57, CellKind::Period},
        {sj("計測時間"), w + 57, CellKind::MeasTime},
    };
    if (s.chattering == 1)
        cols.push_back({sj("ﾁｬﾀﾘﾝｸﾞ"), w + 57, CellKind::Chattering});
    if (s.measureOpe == 1)
        cols.push_back({"AC/DC", w + 57, CellKind::AcDc});
    if (s.outsideTrigger == 1) {
        cols.push_back({sj("動作信号"), w + 65, CellKind::OpSignal});
        cols.push_back({sj("検出動作"), w + 57, CellKind::Detection});
        cols.push_back({sj("電圧電流"), w + 57, CellKind::VoltCurrent});
    }
    cols.push_back({sj("温度"), 60, CellKind::Temperature});
    cols.push_back({sj("湿度"), 60, CellKind::Humidity});
    cols.push_back({sj("天候"), 60, CellKind::Weather});
    cols.push_back({sj("備考"), 100, CellKind::Remarks});
    for (int ch = 0; ch < channels; ++ch)
        cols.push_back({support::format("CH%d", ch + 1), 100, CellKind::ChannelComment, ch});
    return cols;
}

std::vector<ColumnSpec> transferColumns(const settings::AppSettings& s) {
    const bool trig = s.outsideTrigger == 1;
    const int v = trig ? 2 : 135;
    std::vector<ColumnSpec> cols = {
        {"", 23, CellKind::Tick},
        {sj("№"), 30, CellKind::Number},
        {sj("測定開始時刻"), v + 120, CellKind::StartDateTime},
    };
    if (trig) {
        cols.push_back({sj("動作信号"), v + 65, CellKind::OpSignal});
        cols.push_back({sj("検出動作"), v + 57, CellKind::Detection});
    }
    return cols;
}

std::string cellText(const model::MeasurementRecord& r, const ColumnSpec& c) {
    switch (c.kind) {
        case CellKind::Tick:
            return {};
        case CellKind::Number:
            return r.dataNoText();
        case CellKind::StartDate:
            return r.testDateText();
        case CellKind::StartTime:
            return r.testTimeText();
        case CellKind::StartDateTime:
            return r.testDateTimeText();
        case CellKind::Period:
            return r.measPeriodText();
        case CellKind::MeasTime:
            return r.measTimeText();
        case CellKind::Chattering:
            return r.chatteringText();
        case CellKind::AcDc:
            return r.signalAcDcText();
        case CellKind::OpSignal:
            return r.opSignalText();
        case CellKind::Detection:
            return r.triggerDetectText();
        case CellKind::VoltCurrent:
            return r.vcValueText();
        case CellKind::Temperature:
            return r.tempText();
        case CellKind::Humidity:
            return r.humText();
        case CellKind::Weather:
            return r.cond.weather;
        case CellKind::Remarks:
            return r.cond.comment;
        case CellKind::ChannelComment:
            return r.cond.chComment.at(c.channel);
    }
    return {};
}

std::string measurementListCaption(const std::string* customer, const std::string* circuit,
                                   const std::string* name) {
    std::string text = sj("測定データ一覧：  ");
    if (!customer)
        return text;
    text += sj("【 ") + *customer;
    if (circuit) {
        text += sj("－") + *circuit;
        if (name)
            text += sj("－") + *name;
    }
    return text + sj(" 】");
}

std::vector<int> columnWidths(const std::vector<ColumnSpec>& columns) {
    std::vector<int> widths;
    widths.reserve(columns.size());
    for (const ColumnSpec& c : columns)
        widths.push_back(c.width);
    return widths;
}

}  // namespace plm::app
