#include <gtest/gtest.h>

#include <QPdfWriter>

#include <filesystem>
#include <string>
#include <vector>

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
