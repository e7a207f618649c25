#include <gtest/gtest.h>

#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <filesystem>
#include <string>
#include <vector>

#include "chart/analysis_page.h"
#include "chart/report_batch.h"
#include "common/temp_dir.h"
#include "pdf_text.h"
#include "sheet_fixture.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

namespace plm::chart {
namespace {

namespace fs = std::filesystem;

class ReportBatch : public ::testing::Test {
  protected:
    void SetUp() override {
        test::ensureApplication();
        for (int i = 0; i < 3; ++i)
            records.push_back(test::makeRecord(0, 21, {{5 + i}}));
        for (int i = 0; i < 3; ++i)
            items.push_back({"A", "B", "C", i, &records[static_cast<size_t>(i)]});
    }

    std::vector<std::string> folder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            names.push_back(entry.path().filename().string());
        return names;
    }

    settings::AppSettings settings = test::defaultSettings();
    const analysis::LimitsBook noLimits;
    std::vector<model::MeasurementRecord> records;
    std::vector<report::BatchItem> items;
    test::TempDir dir;
};

TEST_F(ReportBatch, SummaryTakesAsManyPagesAsItsRowsNeed) {
    // A4 inside 5 mm margins: 287 mm, less the title and header rows, in 5 mm rows.
    const QSizeF a4(2100, 2970);
    report::BatchSummary summary;
    struct Case {
        size_t rows;
        int pages;
    };
    for (const Case& c : std::vector<Case>{{0, 1}, {54, 1}, {55, 2}, {108, 2}, {109, 3}}) {
        summary.rows.assign(c.rows, {});
        EXPECT_EQ(summaryPageCount(settings, a4, summary), c.pages) << c.rows;
    }
    settings.prtBlankTop = 50;  // 4.5 cm less: nine rows fewer
    summary.rows.assign(54, {});
    EXPECT_EQ(summaryPageCount(settings, a4, summary), 2);
}

TEST_F(ReportBatch, PdfAppearsOnlyWholeAndNeverOverAnExistingFile) {
    const std::string path = dir.file("visit.pdf");
    test::writeFile(path, "mine");
    try {
        writeBatchReportPdf(path, settings, items, &noLimits, false);
        FAIL() << "replaced the existing file";
    } catch (const CxException& e) {
        EXPECT_EQ(e.text(), support::sj("指定のファイルは既に存在しています\n") + path);
    }
    EXPECT_EQ(test::readFile(path), "mine");

    int asked = 0;
    EXPECT_FALSE(writeBatchReportPdf(path, settings, items, nullptr, true,
                                     [&](int done, int, const report::BatchItem&) {
                                         ++asked;
                                         return done < 2;
                                     }));
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(test::readFile(path), "mine");
    EXPECT_EQ(folder(), std::vector<std::string>{"visit.pdf"});  // no temporary file left

    EXPECT_TRUE(writeBatchReportPdf(path, settings, items, nullptr, true));
    EXPECT_EQ(test::readFile(path).rfind("%PDF-", 0), 0u);

    EXPECT_THROW(
        writeBatchReportPdf(dir.file("missing/visit.pdf"), settings, items, nullptr, false),
        CxException);
}

// Paints the summary pages into a PDF at path; returns how many there were.
int writeSummaryPdf(const std::string& path, const settings::AppSettings& settings,
                    const report::BatchSummary& summary) {
    QPdfWriter writer(QString::fromStdString(path));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    writer.setResolution(1200);
    QPainter painter(&writer);
    const QRectF page(0, 0, writer.width(), writer.height());
    const int pages = summaryPageCount(settings, QSizeF(2100, 2970), summary);
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            writer.newPage();
        paintSummaryPage(painter, page, settings, summary, p);
    }
    return pages;
}

// Long names wrap inside their columns, the headers and every other text
// stand whole, and the verdicts show in the screen's colours.
TEST_F(ReportBatch, SummaryTextsStandWholeInColumnsSizedByTheirContent) {
    std::vector<model::MeasurementRecord> many;
    for (int i = 0; i < 4; ++i)
        many.push_back(test::makeRecord(3, 21, {{5 + i}, {6}, {7}, {8}, {9}, {10}, {11}, {12}}));
    const std::vector<std::string> names = {
        support::sj("東京電力株式会社　北関東支社　第二変電所　北側構内"),
        support::sj("66kV 受電用遮断器 52F 主回路 A 系統"),
        support::sj("定期点検　投入動作（操作電圧 定格）")};
    std::vector<report::BatchItem> list;
    for (int i = 0; i < 4; ++i)
        list.push_back({names[0], names[1], names[2], i, &many[static_cast<size_t>(i)]});
    const std::string pass = support::sj("合格");
    const std::string fail = support::sj("不合格");
    const report::BatchSummary summary =
        report::batchSummary(settings, list, {pass, fail, pass, fail});

    const std::string path = dir.file("summary.pdf");
    ASSERT_EQ(writeSummaryPdf(path, settings, summary), 1);
    const std::string text = test::joined(test::pdfPageText(path, 1));
    if (text.empty())
        GTEST_SKIP() << "pdftotext not available";
    std::vector<std::string> wanted = summary.header;
    wanted.insert(wanted.end(), summary.rows[1].begin(), summary.rows[1].end());
    for (const std::string& t : wanted)
        EXPECT_NE(text.find(test::joined(support::toUtf8(t))), std::string::npos)
            << support::toUtf8(t);

    QImage image(1240, 1754, QImage::Format_RGB32);
    image.setDotsPerMeterX(5906);
    image.setDotsPerMeterY(5906);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        paintSummaryPage(painter, QRectF(0, 0, 1240, 1754), settings, summary, 0);
    }
    const auto pixels = [&](const QColor& colour) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                count += image.pixelColor(x, y) == colour ? 1 : 0;
        }
        return count;
    };
    EXPECT_GT(pixels(verdictColor(analysis::Verdict::Pass)), 20);
    EXPECT_GT(pixels(verdictColor(analysis::Verdict::Fail)), 20);
}

TEST_F(ReportBatch, JudgementPagesFollowTheirReportPages) {
    const std::string path = dir.file("visit.pdf");
    ASSERT_TRUE(writeBatchReportPdf(path, settings, items, nullptr, false, {}, &noLimits));
    std::vector<std::string> pages;
    for (int page = 1; page <= 6; ++page) {
        const std::string text = test::pdfPageText(path, page);
        if (text.empty())
            GTEST_SKIP() << "pdftotext not available";
        pages.push_back(text.find("判定結果") != std::string::npos ? "judgement" : "report");
    }
    EXPECT_EQ(test::pdfPageText(path, 7), "");
    EXPECT_EQ(pages, (std::vector<std::string>{"report", "judgement", "report", "judgement",
                                               "report", "judgement"}));
}

}  // namespace
}  // namespace plm::chart
