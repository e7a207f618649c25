#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <string>

#include "chart/report_page.h"
#include "common/temp_dir.h"
#include "sheet_fixture.h"
#include "support/text_codec.h"

// The printed page of an 8-channel record compared with a reviewed
// rendering. A pixel only counts as different when nothing within one pixel
// of it in the other image is close in grey: that survives the sub-pixel
// shifts of another font rasteriser, but not a table that moved by half a
// millimetre or a trace that is missing.
namespace plm::chart {
namespace {

using support::sj;

model::MeasurementRecord goldenRecord() {
    model::MeasurementRecord r = test::makeRecord(3, 201,
                                                  {{20, 60},
                                                   {25, 61, 90},
                                                   {30, 100, 101, 102},
                                                   {5},
                                                   {},
                                                   {150, 160, 170, 180},
                                                   {40},
                                                   {1, 199}},
                                                  {false, true, false, false, true});
    r.cond.mcType = "VCB-7.2kV";
    r.cond.mcNum = "A12345";
    r.cond.mcDate = "2001/05";
    r.cond.mcMaker = sj("東京電機");
    r.cond.weather = sj("晴れ");
    r.cond.temp = 21.5;
    r.cond.hum = 45;
    r.cond.comment = sj("定期点検, \"A\"号機");
    r.cond.chComment[0] = sj("R相 主接点");
    r.cond.chComment[1] = "abcdefghijklmnopqrst";
    r.cond.chComment[2] = sj("補助接点ａ接点のコメント長い");
    r.opSignal = 2;
    r.vcValue = 100;
    return r;
}

const SheetNames kNames{sj("東北電力"), sj("第1変電所 66kV"), sj("年次点検")};

QImage render(const model::MeasurementRecord& r, const std::string& path) {
    writeReportPng(path, test::defaultSettings(), kNames, &r);
    return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_Grayscale8);
}

// Pixels of `a` with no pixel of similar grey within one pixel in `b`.
int unmatched(const QImage& a, const QImage& b, int tolerance = 80) {
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar* row = a.constScanLine(y);
        for (int x = 0; x < a.width(); ++x) {
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy) {
                const int yy = y + dy;
                if (yy < 0 || yy >= b.height())
                    continue;
                const uchar* other = b.constScanLine(yy);
                for (int dx = -1; dx <= 1 && !found; ++dx) {
                    const int xx = x + dx;
                    if (xx >= 0 && xx < b.width())
                        found = std::abs(row[x] - other[xx]) <= tolerance;
                }
            }
            if (!found)
                ++count;
        }
    }
    return count;
}

int difference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return a.width() * a.height();
    return unmatched(a, b) + unmatched(b, a);
}

// Switching the face between full and no hinting changes about 480 pixels;
// one channel losing its two short pulses changes about 950.
constexpr int kAllowed = 600;

TEST(ReportGolden, EightChannelPageMatchesTheReviewedRendering) {
    test::ensureApplication();
    test::TempDir dir;
    const std::string golden = test::dataPath("golden/report_8ch.png");
    const std::string actualPath = dir.file("report_8ch.png");
    const QImage actual = render(goldenRecord(), actualPath);
    if (std::getenv("PLM_UPDATE_GOLDEN")) {
        test::writeFile(golden, test::readFile(actualPath));
        GTEST_SKIP() << "golden image rewritten";
    }
    const QImage expected =
        QImage(QString::fromStdString(golden)).convertToFormat(QImage::Format_Grayscale8);
    ASSERT_FALSE(expected.isNull()) << golden;
    ASSERT_EQ(actual.size(), QSize(1240, 1754));
    const int diff = difference(actual, expected);
    if (diff > kAllowed) {
        const std::string kept = ::testing::TempDir() + "report_8ch_actual.png";
        actual.save(QString::fromStdString(kept));
        ADD_FAILURE() << diff << " pixels differ; this rendering is kept in " << kept;
    }
}

TEST(ReportGolden, ComparisonCatchesAMissingTraceAndAMovedTable) {
    test::ensureApplication();
    test::TempDir dir;
    const QImage base = render(goldenRecord(), dir.file("base.png"));
    EXPECT_EQ(difference(base, render(goldenRecord(), dir.file("again.png"))), 0);

    model::MeasurementRecord flat = goldenRecord();
    for (size_t i = 0; i < flat.contacts.size(); ++i)
        flat.contacts[i] &= static_cast<uint8_t>(~0x20);  // channel 6 never closes
    EXPECT_GT(difference(base, render(flat, dir.file("flat.png"))), kAllowed);

    // Half a millimetre more top margin moves every table down by 3 pixels.
    settings::AppSettings moved = test::defaultSettings();
    moved.prtBlankTop = 6;
    moved.prtBlankBottom = 4;
    const model::MeasurementRecord r = goldenRecord();
    writeReportPng(dir.file("moved.png"), moved, kNames, &r);
    const QImage shifted = QImage(QString::fromStdString(dir.file("moved.png")))
                               .convertToFormat(QImage::Format_Grayscale8);
    EXPECT_GT(difference(base, shifted), kAllowed);
}

}  // namespace
}  // namespace plm::chart
