#include "chart/test_sheet.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "report/operating_times.h"
#include "support/text_codec.h"

namespace plm::chart {
namespace {

using support::sj;

const QColor kLabelFill(235, 235, 235);
const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
constexpr double kTableFontSize = 28.0;  // 2.8 mm: fits the 4 mm table rows
constexpr double kTitleFontSize = 45.0;

void styleCell(GridCell& cell, bool label) {
    cell.fill = label ? kLabelFill : kWhite;
    cell.textColor = kBlack;
    cell.border.fill(kBlack);
    cell.font = sheetFont(kTableFontSize);
    cell.align = Qt::AlignLeft | Qt::AlignVCenter;
}

// A new table: every cell a white value cell with thin black lines, framed.
LayoutGrid& newTable(LayoutGrid& parent, int row, int columns, int rows) {
    LayoutGrid& table = parent.nest(0, row, columns, rows);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c)
            styleCell(table.cell(c, r), false);
    }
    table.setFrame(kBlack);
    return table;
}

void setLabel(LayoutGrid& table, int col, int row, const std::string& text) {
    GridCell& cell = table.cell(col, row);
    styleCell(cell, true);
    cell.text = text;
}

// Merges the range into one cell whose text and fill are both white and
// which draws no lines of its own: only the table's frame stays.
void hideRange(LayoutGrid& table, int col0, int row0, int col1, int row1) {
    table.merge(col0, row0, col1, row1);
    GridCell& cell = table.cell(col0, row0);
    cell.fill = kWhite;
    cell.textColor = kWhite;
    cell.border.fill(QColor());
}

void setPercents(LayoutGrid& table, std::initializer_list<double> percents) {
    int col = 0;
    for (double p : percents)
        table.setColumnWidth(col++, Extent::percent(p));
}

// The conditions table's cells by the switches: label cell, label and the
// value that goes into the cell to the right (or into column 9 for 備考).
enum class CondValue {
    Period,
    MeasTime,
    Chattering,
    Kind,
    Ope,
    Signal,
    Weather,
    Temp,
    Hum,
    Comment
};
struct CondCell {
    int col;
    int row;
    const char* label;
    CondValue value;
    int valueCol;
};

bool wideConditions(int chattering, int measureType) {
    return chattering != 0 || measureType != 0;
}

std::vector<CondCell> conditionCells(int chattering, int measureType, int measureOpe) {
    const bool wide = wideConditions(chattering, measureType);
    std::vector<CondCell> cells = {
        {0, 0, "測定周期", CondValue::Period, 1},
        {0, 1, "計測時間", CondValue::MeasTime, 1},
        {0, 2, "ﾁｬﾀﾘﾝｸﾞ測定", CondValue::Chattering, 1},
        {2, 0, "測定種別", CondValue::Kind, 3},
        {2, 1, "測定動作", CondValue::Ope, 3},
        {2, 2, "投入･遮断信号", CondValue::Signal, 3},
        {4, 0, "天候", CondValue::Weather, 5},
        {4, 1, "温度[℃]", CondValue::Temp, 5},
        wide ? CondCell{4, 2, "湿度[％]", CondValue::Hum, 5}
             : CondCell{6, 1, "湿度[％]", CondValue::Hum, 7},
        wide ? CondCell{6, 0, "備考", CondValue::Comment, 9}
             : CondCell{8, 0, "備考", CondValue::Comment, 9},
    };
    if (measureType != 0 && chattering == 0)
        cells[2] = {0, 2, "測定種別", CondValue::Kind, 1};
    if (measureOpe != 0 && (chattering == 0 || measureType == 0)) {
        cells[3] = {2, 0, "測定動作", CondValue::Ope, 3};
        cells[4] = {2, 1, "投入･遮断信号", CondValue::Signal, 3};
    }
    return cells;
}

std::string conditionText(const model::MeasurementRecord& rec, CondValue value) {
    switch (value) {
        case CondValue::Period:
            return rec.measPeriodText();
        case CondValue::MeasTime:
            return rec.measTimeText();
        case CondValue::Chattering:
            return rec.chatteringText();
        case CondValue::Kind:
            return rec.measureTypeText();
        case CondValue::Ope:
            return rec.measureOpeText();
        case CondValue::Signal:
            return rec.signalAcDcText();
        case CondValue::Weather:
            return rec.cond.weather;
        case CondValue::Temp:
            return rec.tempText();
        case CondValue::Hum:
            return rec.humText();
        case CondValue::Comment:
            return rec.cond.comment;
    }
    return {};
}

// The signal table's label/value pairs for a record, left to right.
struct SignalCell {
    const char* label;
    std::string (model::MeasurementRecord::*text)() const;
};

std::vector<SignalCell> signalCells(const model::MeasurementRecord* rec) {
    std::vector<SignalCell> cells;
    if (rec && rec->noiseMask != 0)
        cells.push_back({"ﾉｲｽﾞﾏｽｸ", &model::MeasurementRecord::noiseMaskText});
    cells.push_back({"動作信号", &model::MeasurementRecord::opSignalText});
    cells.push_back({"トリガ検出", &model::MeasurementRecord::triggerDetectText});
    cells.push_back({"電圧電流", &model::MeasurementRecord::vcValueText});
    return cells;
}

int recordChannels(const model::MeasurementRecord* rec) {
    return rec ? model::channelCount(rec->cond.devType) : 8;
}

}  // namespace

QFont sheetFont(double size) {
    static const bool substituted = [] {
        QFont::insertSubstitution(QString::fromUtf8("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
        return true;
    }();
    (void)substituted;
    QFont font(QString::fromUtf8("ＭＳ ゴシック"));
    font.setFamilies({QString::fromUtf8("ＭＳ ゴシック"), QStringLiteral("IPAGothic")});
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
    font.setWeight(QFont::Normal);
    // Unhinted outlines keep text the same size on screen, paper and image.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

double pixelsPerUnit(const QPainter& painter) {
    const QPaintDevice* device = painter.device();
    const double dpi = device ? device->logicalDpiY() : 96.0;
    return dpi / 254.0;
}

QRectF printArea(const settings::AppSettings& settings, const QRectF& page) {
    return page
        .adjusted(settings.prtBlankLeft * 10.0, settings.prtBlankTop * 10.0,
                  -settings.prtBlankRight * 10.0, -settings.prtBlankBottom * 10.0)
        .normalized();
}

TestSheet::TestSheet(Target target)
    : target_(target),
      layout_(std::make_unique<LayoutGrid>(1, 1)),
      chart_(std::make_shared<ChartPlot>()) {}

void TestSheet::rebuild(const settings::AppSettings& settings, const SheetNames& names,
                        const model::MeasurementRecord* record) {
    BuildLayout(settings, record);
    if (!record)
        return;
    FillTables(names, *record);
    BuildTraces(*record);
}

void TestSheet::BuildLayout(const settings::AppSettings& settings,
                            const model::MeasurementRecord* first) {
    chattering_ = settings.chattering;
    measureType_ = settings.measureType;
    measureOpe_ = settings.measureOpe;
    outsideTrigger_ = settings.outsideTrigger;
    const bool print = target_ == Target::Print;
    const int base = print ? 1 : 0;
    const int channels = recordChannels(first);
    layout_ = std::make_unique<LayoutGrid>(1, base + 7);
    ChartStyle style;
    style.commentLen = settings.chCommentLen - 2;  // held as the file's value plus 2
    chart_ = std::make_shared<ChartPlot>(style);

    const bool signalShown = (first && first->noiseMask != 0) || outsideTrigger_ != 0;
    const double heights[7] = {160.0,
                               wideConditions(chattering_, measureType_) ? 120.0 : 80.0,
                               signalShown ? 40.0 : 0.0,
                               40.0 * channels + 40.0,
                               20.0,
                               -1.0,
                               30.0};
    for (int i = 0; i < 7; ++i) {
        layout_->setRowHeight(base + i,
                              heights[i] < 0 ? Extent::rest() : Extent::fixed(heights[i]));
    }
    title_ = nullptr;
    if (print) {
        layout_->setRowHeight(0, Extent::fixed(60.0));
        title_ = &layout_->nest(0, 0, 2, 1);
        title_->setColumnWidth(0, Extent::percent(99.0));
        GridCell& cell = title_->cell(0, 0);
        cell.text = settings.printTitle;
        cell.font = sheetFont(kTitleFontSize);
        cell.align = Qt::AlignCenter;
        title_->setFrame(kWhite);
    }
    header_ = &newTable(*layout_, base + 0, 6, 4);
    buildHeader(*header_, settings);
    conditions_ = &newTable(*layout_, base + 1, 10, 3);
    buildConditions(*conditions_);
    signal_ = &newTable(*layout_, base + 2, 9, 1);
    buildSignal(*signal_, first);
    operating_ = &newTable(*layout_, base + 3, 11, channels + 1);
    buildOperating(*operating_, channels);
    layout_->cell(0, base + 5).block = chart_;
    caption_ = &layout_->nest(0, base + 6, 1, 1);
    caption_->cell(0, 0).border.fill(kWhite);
    caption_->cell(0, 0).font = sheetFont(kTableFontSize);
}

void TestSheet::buildHeader(LayoutGrid& table, const settings::AppSettings& settings) {
    setPercents(table, {13, 20, 13, 20, 13});
    const std::string labels[4][3] = {
        {settings.itemName1, settings.itemName2, settings.itemName3},
        {sj("データ№"), sj("試験年月日"), sj("試験時刻")},
        {sj("型式"), sj("製造番号"), ""},
        {sj("製造年月日"), sj("製造メーカ"), ""},
    };
    for (int row = 0; row < 4; ++row) {
        for (int i = 0; i < 3; ++i)
            setLabel(table, i * 2, row, labels[row][i]);
    }
}

void TestSheet::buildConditions(LayoutGrid& table) {
    const bool wide = wideConditions(chattering_, measureType_);
    if (wide) {
        setPercents(table, {11, 11, 11, 11, 11, 11, 5, 0, 0});
    } else {
        setPercents(table, {11, 11, 11, 11, 7, 6, 7, 6, 5});
        table.setRowHeight(0, Extent::percent(50));
        table.setRowHeight(1, Extent::percent(50));
        table.setRowHeight(2, Extent::percent(0));
        table.merge(5, 0, 7, 0);
    }
    for (const CondCell& c : conditionCells(chattering_, measureType_, measureOpe_)) {
        setLabel(table, c.col, c.row, sj(c.label));
    }
    const bool opeMoved = measureOpe_ != 0 && (chattering_ == 0 || measureType_ == 0);
    if (opeMoved) {
        // Kept in place but unreadable: their text takes the fill colour.
        for (int col : {2, 3})
            table.cell(col, 2).textColor = table.cell(col, 2).fill;
    }
    if (measureOpe_ == 0 && (chattering_ == 0 || measureType_ == 0)) {
        table.setColumnWidth(2, Extent::percent(0));
        table.setColumnWidth(3, Extent::percent(0));
    }
    // The remarks take the full height of the table.
    const int lastRow = wide ? 2 : 1;
    const int commentLabelCol = wide ? 6 : 8;
    table.merge(commentLabelCol, 0, commentLabelCol, lastRow);
    table.merge(9, 0, 9, lastRow);
    table.cell(9, 0).align = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
}

void TestSheet::buildSignal(LayoutGrid& table, const model::MeasurementRecord* first) {
    setPercents(table, {11, 11, 11, 11, 11, 11, 11, 11, 0});
    const std::vector<SignalCell> cells = signalCells(first);
    for (size_t i = 0; i < cells.size(); ++i)
        setLabel(table, static_cast<int>(i) * 2, 0, sj(cells[i].label));
    const bool vcShown = first && first->vcValueShown();
    if (first && first->noiseMask != 0) {
        if (outsideTrigger_ == 0) {
            hideRange(table, 2, 0, 8, 0);
        } else if (!vcShown) {
            hideRange(table, 6, 0, 8, 0);
        }
    } else {
        hideRange(table, vcShown ? 6 : 4, 0, 8, 0);
    }
}

void TestSheet::buildOperating(LayoutGrid& table, int channels) {
    table.setColumnWidth(0, Extent::percent(5));
    for (int col = 1; col <= 10; ++col)
        table.setColumnWidth(col, Extent::percent(9.5));
    setLabel(table, 0, 0, "CH");
    for (int col = 1; col <= 10; ++col)
        styleCell(table.cell(col, 0), true);
    table.merge(1, 0, 10, 0);
    for (int k = 1; k <= channels; ++k)
        setLabel(table, 0, k, support::format("%d", k));
    for (int r = 0; r <= channels; ++r) {
        for (int c = 0; c <= 10; ++c)
            table.cell(c, r).align = Qt::AlignCenter;
    }
}

void TestSheet::FillTables(const SheetNames& names, const model::MeasurementRecord& rec) {
    if (!rec.dateValid())
        return;
    const std::string headerValues[4][3] = {
        {names.level1, names.level2, names.level3},
        {rec.dataNoText(), rec.testDateText(), rec.testTimeText()},
        {rec.cond.mcType, rec.cond.mcNum, ""},
        {rec.cond.mcDate, rec.cond.mcMaker, ""},
    };
    for (int row = 0; row < 4; ++row) {
        for (int i = 0; i < 3; ++i)
            header_->cell(i * 2 + 1, row).text = headerValues[row][i];
    }
    for (const CondCell& c : conditionCells(chattering_, measureType_, measureOpe_)) {
        conditions_->cell(c.valueCol, c.row).text = conditionText(rec, c.value);
    }
    const std::vector<SignalCell> cells = signalCells(&rec);
    for (size_t i = 0; i < cells.size(); ++i) {
        GridCell& cell = signal_->cell(static_cast<int>(i) * 2 + 1, 0);
        if (!cell.covered)
            cell.text = (rec.*cells[i].text)();
    }
    operating_->cell(1, 0).text = sj("動作時間[ ms ]");
    fillOperating(rec);
    caption_->cell(0, 0).text = rec.measTime >= 4 ? sj("計測時間[ s ]") : sj("計測時間[ ms ]");
}

void TestSheet::fillOperating(const model::MeasurementRecord& rec) {
    const int channels = operating_->rows() - 1;
    for (int k = 1; k <= channels; ++k) {
        const std::array<std::string, 10> texts = report::operatingRowTexts(rec, k - 1);
        for (int col = 1; col <= 10; ++col)
            operating_->cell(col, k).text = texts[static_cast<size_t>(col - 1)];
    }
}

void TestSheet::BuildTraces(const model::MeasurementRecord& record) {
    if (record.dateValid())
        chart_->BuildTraces(record);
}

QSizeF TestSheet::contentSize(const QSizeF& viewport) const {
    return QSizeF(std::max(viewport.width(), kMinWidth),
                  std::max(viewport.height(), fixedHeight() + minChartHeight()));
}

QRectF TestSheet::plotRect() const {
    return chart_->plotRect(chartBlock());
}

QRectF TestSheet::timeAxisRow() const {
    return chart_->timeAxisRow(chartBlock());
}

QRectF TestSheet::chartBlock() const {
    const int chartRow = (target_ == Target::Print ? 1 : 0) + 5;
    return layout_->cellRect(0, chartRow);
}

void TestSheet::paint(QPainter& painter, const QRectF& deviceRect, const QPointF& scroll,
                      const std::optional<SampleSpan>& visible) {
    const double ppu = pixelsPerUnit(painter);
    const QSizeF content = contentSize(deviceRect.size() / ppu);
    painter.save();
    painter.setClipRect(deviceRect, Qt::IntersectClip);
    painter.translate(deviceRect.topLeft());
    painter.scale(ppu, ppu);
    painter.translate(-scroll);
    // Inset by a line width so that the outer frame is not cut in half by the window's edge.
    const PaintContext ctx{1.0 / ppu, visible};
    const double inset = ctx.lineWidth();
    paintUnits(painter, QRectF(QPointF(0, 0), content).adjusted(inset, inset, -inset, -inset), ctx);
    painter.restore();
}

void TestSheet::paintUnits(QPainter& painter, const QRectF& rect, const PaintContext& ctx) {
    layout_->layout(rect);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    layout_->paint(painter, ctx);
    painter.restore();
}

}  // namespace plm::chart
