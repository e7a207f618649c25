#include "chart/test_sheet.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include "chart/report_page.h"
#include "sheet_fixture.h"
#include "support/text_codec.h"

namespace plm::chart {
namespace {

using support::sj;

const SheetNames kNames{sj("東北電力"), sj("第1変電所"), sj("年次点検")};

struct Switches {
    int chattering = 1;
    int measureType = 1;
    int measureOpe = 1;
    int outsideTrigger = 1;
};

settings::AppSettings settingsWith(Switches s) {
    settings::AppSettings settings = test::defaultSettings();
    settings.chattering = s.chattering;
    settings.measureType = s.measureType;
    settings.measureOpe = s.measureOpe;
    settings.outsideTrigger = s.outsideTrigger;
    return settings;
}

model::MeasurementRecord sampleRecord(int32_t devType = 3) {
    model::MeasurementRecord r = test::makeRecord(devType, 201, {{20, 60}, {25}});
    r.measureType = 1;
    r.measureOpe = 0;
    r.opSignal = 2;
    r.vcValue = 100;
    r.cond.weather = sj("晴れ");
    r.cond.hum = 45.0;
    r.cond.comment = sj("点検");
    return r;
}

TestSheet built(TestSheet::Target target, Switches s, const model::MeasurementRecord* r) {
    test::ensureApplication();
    TestSheet sheet(target);
    sheet.rebuild(settingsWith(s), kNames, r);
    return sheet;
}

std::vector<double> fixedRows(const TestSheet& sheet) {
    std::vector<double> out;
    for (int row = 0; row < sheet.layout().rows(); ++row) {
        const Extent& e = sheet.layout().rowHeight(row);
        out.push_back(e.kind == Extent::Kind::Fixed ? e.value : -1.0);
    }
    return out;
}

std::string text(const LayoutGrid* table, int col, int row) {
    return table->cell(col, row).text;
}

TEST(TestSheetLayout, RowHeightsFollowSwitchesAndRecord) {
    model::MeasurementRecord eight = sampleRecord(3);
    model::MeasurementRecord four = sampleRecord(1);
    model::MeasurementRecord noisy = sampleRecord(3);
    noisy.noiseMask = 2;
    model::MeasurementRecord outside = sampleRecord(7);  // no such device type: 8 channels
    outside.measTime = 99;
    struct Case {
        const char* name;
        Switches s;
        const model::MeasurementRecord* record;
        std::vector<double> rows;  // -1: the chart's share of what is left
    };
    const std::vector<Case> cases = {
        {"all on", {}, &eight, {160, 120, 40, 360, 20, -1, 30}},
        {"4 channels", {}, &four, {160, 120, 40, 200, 20, -1, 30}},
        {"no record", {}, nullptr, {160, 120, 40, 360, 20, -1, 30}},
        {"codes outside the tables", {}, &outside, {160, 120, 40, 360, 20, -1, 30}},
        {"narrow conditions", {0, 0, 1, 1}, &eight, {160, 80, 40, 360, 20, -1, 30}},
        {"only chattering", {1, 0, 1, 1}, &eight, {160, 120, 40, 360, 20, -1, 30}},
        {"no signal row", {1, 1, 1, 0}, &eight, {160, 120, 0, 360, 20, -1, 30}},
        {"noise mask keeps it", {1, 1, 1, 0}, &noisy, {160, 120, 40, 360, 20, -1, 30}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fixedRows(built(TestSheet::Target::Screen, c.s, c.record)), c.rows) << c.name;
        std::vector<double> print = c.rows;
        print.insert(print.begin(), 60);
        EXPECT_EQ(fixedRows(built(TestSheet::Target::Print, c.s, c.record)), print) << c.name;
    }
}

TEST(TestSheetLayout, ConditionsTableMovesCellsWithTheSwitches) {
    const model::MeasurementRecord r = sampleRecord();
    {
        const TestSheet sheet = built(TestSheet::Target::Screen, {}, &r);
        const LayoutGrid* t = sheet.conditionsTable();
        EXPECT_EQ(text(t, 0, 2), sj("ﾁｬﾀﾘﾝｸﾞ測定"));
        EXPECT_EQ(text(t, 1, 2), "OFF");
        EXPECT_EQ(text(t, 2, 0), sj("測定種別"));
        EXPECT_EQ(text(t, 3, 0), sj("遮断"));
        EXPECT_EQ(text(t, 4, 2), sj("湿度[％]"));
        EXPECT_EQ(text(t, 5, 2), "45.0");
        EXPECT_EQ(text(t, 6, 0), sj("備考"));
        EXPECT_EQ(text(t, 9, 0), sj("点検"));
        EXPECT_EQ(t->cell(2, 0).fill, QColor(235, 235, 235));
        EXPECT_EQ(t->cell(3, 0).fill, QColor(Qt::white));
    }
    {
        // Chattering off, MeasureType on, MeasureOpe on.
        const TestSheet sheet = built(TestSheet::Target::Screen, {0, 1, 1, 1}, &r);
        const LayoutGrid* t = sheet.conditionsTable();
        EXPECT_EQ(text(t, 0, 2), sj("測定種別"));
        EXPECT_EQ(text(t, 1, 2), sj("遮断"));
        EXPECT_EQ(text(t, 2, 0), sj("測定動作"));
        EXPECT_EQ(text(t, 3, 0), sj("自動"));
        EXPECT_EQ(text(t, 2, 1), sj("投入･遮断信号"));
        EXPECT_EQ(text(t, 3, 1), sj("交流"));
        // The base cells of row 2 stay but cannot be read.
        EXPECT_EQ(t->cell(2, 2).textColor, t->cell(2, 2).fill);
        EXPECT_EQ(t->cell(3, 2).textColor, t->cell(3, 2).fill);
    }
    {
        // Chattering and MeasureType off: two rows, humidity and remarks move.
        const TestSheet sheet = built(TestSheet::Target::Screen, {0, 0, 1, 1}, &r);
        const LayoutGrid* t = sheet.conditionsTable();
        EXPECT_EQ(t->rowHeight(2).value, 0.0);
        EXPECT_EQ(text(t, 6, 1), sj("湿度[％]"));
        EXPECT_EQ(text(t, 7, 1), "45.0");
        EXPECT_EQ(text(t, 8, 0), sj("備考"));
        EXPECT_EQ(t->cell(5, 0).colSpan, 3);
    }
    {
        // MeasureOpe off as well: columns 2 and 3 vanish.
        const TestSheet sheet = built(TestSheet::Target::Screen, {0, 0, 0, 1}, &r);
        const LayoutGrid* t = sheet.conditionsTable();
        EXPECT_EQ(t->columnWidth(2).value, 0.0);
        EXPECT_EQ(t->columnWidth(3).value, 0.0);
    }
}

TEST(TestSheetLayout, SignalTableHidesWhatDoesNotApply) {
    model::MeasurementRecord r = sampleRecord();
    {
        const TestSheet sheet = built(TestSheet::Target::Screen, {}, &r);
        const LayoutGrid* t = sheet.signalTable();
        EXPECT_EQ(text(t, 0, 0), sj("動作信号"));
        EXPECT_EQ(text(t, 1, 0), sj("電圧Hi"));
        EXPECT_EQ(text(t, 5, 0), "100 V");
        EXPECT_EQ(t->cell(6, 0).colSpan, 3);
        EXPECT_EQ(t->cell(6, 0).textColor, QColor(Qt::white));
    }
    r.opSignal = 1;  // no voltage: the voltage pair is hidden too
    {
        const TestSheet sheet = built(TestSheet::Target::Screen, {}, &r);
        EXPECT_EQ(sheet.signalTable()->cell(4, 0).colSpan, 5);
        EXPECT_EQ(sheet.signalTable()->cell(4, 0).fill, QColor(Qt::white));
    }
    r.noiseMask = 2;
    {
        const TestSheet sheet = built(TestSheet::Target::Screen, {1, 1, 1, 0}, &r);
        const LayoutGrid* t = sheet.signalTable();
        EXPECT_EQ(text(t, 0, 0), sj("ﾉｲｽﾞﾏｽｸ"));
        EXPECT_EQ(text(t, 1, 0), "ON");
        EXPECT_EQ(t->cell(2, 0).colSpan, 7);
    }
}

TEST(TestSheetLayout, OperatingTimesAndCaption) {
    model::MeasurementRecord r = sampleRecord(1);
    r.measureOpe = 1;
    r.contacts[0] |= 0x04;  // channel 3 opens between samples 0 and 1: a manual start
    r.measTime = 4;
    const TestSheet sheet = built(TestSheet::Target::Screen, {}, &r);
    const LayoutGrid* t = sheet.operatingTable();
    ASSERT_EQ(t->rows(), 5);
    EXPECT_EQ(text(t, 1, 0), sj("動作時間[ ms ]"));
    EXPECT_EQ(t->cell(1, 0).colSpan, 10);
    EXPECT_EQ(text(t, 0, 4), "4");
    // 5 ms period: channel 1 closes at 20 and opens at 60.
    EXPECT_EQ(text(t, 1, 1), "95");
    EXPECT_EQ(text(t, 2, 1), "200");
    EXPECT_EQ(text(t, 3, 1), "---");
    EXPECT_EQ(text(t, 1, 3), "0");
    EXPECT_EQ(text(t, 2, 3), "---");
    EXPECT_EQ(text(sheet.captionTable(), 0, 0), sj("計測時間[ s ]"));
    r.measTime = 3;
    EXPECT_EQ(text(built(TestSheet::Target::Screen, {}, &r).captionTable(), 0, 0),
              sj("計測時間[ ms ]"));
}

TEST(TestSheetLayout, RecordsThatCannotBeChartedKeepTheirTables) {
    model::MeasurementRecord invalidDate = sampleRecord();
    invalidDate.testDateTime.status = support::DateStatus::Invalid;
    const TestSheet a = built(TestSheet::Target::Screen, {}, &invalidDate);
    EXPECT_EQ(text(a.headerTable(), 1, 0), "");
    EXPECT_EQ(text(a.headerTable(), 0, 1), sj("データ№"));
    EXPECT_EQ(text(a.operatingTable(), 1, 1), "");
    EXPECT_FALSE(a.chart().hasTraces());

    for (size_t samples : {0u, 1u}) {
        model::MeasurementRecord few = sampleRecord();
        few.contacts.assign(samples, 0);
        const TestSheet b = built(TestSheet::Target::Screen, {}, &few);
        EXPECT_EQ(text(b.headerTable(), 1, 0), sj("東北電力"));
        EXPECT_EQ(text(b.operatingTable(), 1, 1), "---");
        EXPECT_FALSE(b.chart().hasTraces());
    }
}

TEST(TestSheetLayout, SmallWindowScrollsOverTheFixedRows) {
    const model::MeasurementRecord r = sampleRecord();
    const TestSheet sheet = built(TestSheet::Target::Screen, {}, &r);
    EXPECT_DOUBLE_EQ(sheet.fixedHeight(), 160 + 120 + 40 + 360 + 20 + 30);
    const QSizeF small = sheet.contentSize(QSizeF(500, 300));
    EXPECT_DOUBLE_EQ(small.height(), sheet.fixedHeight() + sheet.minChartHeight());
    // Eight bands of two 9-point lines each need more than 50 mm.
    EXPECT_GT(sheet.minChartHeight(), 500.0);
    EXPECT_DOUBLE_EQ(small.width(), TestSheet::kMinWidth);
    EXPECT_EQ(sheet.contentSize(QSizeF(3000, 2500)), QSizeF(3000, 2500));
}

// At the narrowest the window lays the sheet out, every label that shows
// must be whole: the view scrolls sideways rather than clip one.
TEST(TestSheetLayout, EveryLabelFitsItsCellAtTheNarrowestWidth) {
    model::MeasurementRecord r = sampleRecord();
    r.noiseMask = 1;
    const QColor labelFill(235, 235, 235);
    const double padding = 2 * 8.0;
    for (const Switches s : {Switches{}, Switches{0, 0, 0, 1}, Switches{0, 0, 1, 1},
                             Switches{1, 0, 1, 1}, Switches{0, 1, 1, 1}}) {
        TestSheet sheet = built(TestSheet::Target::Screen, s, &r);
        const QSizeF content = sheet.contentSize(QSizeF(500, 300));
        EXPECT_DOUBLE_EQ(content.width(), TestSheet::kMinWidth);
        sheet.layout().layout(QRectF(QPointF(), content));
        for (const LayoutGrid* table :
             {sheet.headerTable(), sheet.conditionsTable(), sheet.signalTable()}) {
            for (int row = 0; row < table->rows(); ++row) {
                for (int col = 0; col < table->columns(); ++col) {
                    const GridCell& cell = table->cell(col, row);
                    const QRectF rect = table->cellRect(col, row);
                    if (cell.covered || cell.text.empty() || cell.fill != labelFill ||
                        cell.textColor == cell.fill || rect.isEmpty())
                        continue;
                    const double needed = QFontMetricsF(cell.font).horizontalAdvance(
                                              QString::fromStdString(support::toUtf8(cell.text))) +
                                          padding;
                    EXPECT_LE(needed, rect.width())
                        << support::toUtf8(cell.text) << " switches " << s.chattering
                        << s.measureType << s.measureOpe << s.outsideTrigger;
                }
            }
        }
    }
}

// First column from the left with a dark pixel.
int firstInkColumn(const QImage& image) {
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if (qGray(image.pixel(x, y)) < 128)
                return x;
        }
    }
    return -1;
}

QImage page(const settings::AppSettings& settings, const model::MeasurementRecord* r) {
    QImage image(620, 877, QImage::Format_RGB32);  // A4 at 75 dpi
    const int dpm = static_cast<int>(75 / 0.0254 + 0.5);
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);
    image.fill(Qt::white);
    QPainter painter(&image);
    paintReportPage(painter, QRectF(0, 0, 620, 877), settings, kNames, r);
    return image;
}

TEST(ReportPage, MarginsComeFromTheSettingsAndNoRecordLeavesItBlank) {
    test::ensureApplication();
    const model::MeasurementRecord r = sampleRecord();
    settings::AppSettings settings = test::defaultSettings();
    EXPECT_NEAR(firstInkColumn(page(settings, &r)), 5 / 25.4 * 75, 1.5);
    settings.prtBlankLeft = 30;
    EXPECT_NEAR(firstInkColumn(page(settings, &r)), 30 / 25.4 * 75, 1.5);
    EXPECT_EQ(firstInkColumn(page(settings, nullptr)), -1);

    // 8 channels on A4 with 5 mm margins: the chart keeps 287 - 79 = 208 mm.
    TestSheet sheet(TestSheet::Target::Print);
    sheet.rebuild(test::defaultSettings(), kNames, &r);
    sheet.layout().layout(QRectF(50, 50, 2000, 2870));
    EXPECT_DOUBLE_EQ(sheet.layout().cellRect(0, 6).height(), 2080.0);
}

}  // namespace
}  // namespace plm::chart
