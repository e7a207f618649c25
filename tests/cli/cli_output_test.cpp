#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/tool_run.h"
#include "common/fixtures.h"
#include "common/temp_dir.h"
#include "model/customer_tree.h"
#include "report/csv_writer.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::cli {
namespace {

using test::FailingReporter;
namespace fs = std::filesystem;
using support::sj;

class CliOutput : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string capture = fs::absolute(test::dataPath("capture_two.txt")).string();
        const ToolRun r = plmtool(dir, {"register", capture, "東京", "回路A", "点1"});
        ASSERT_EQ(r.status, 0) << r.err;
    }

    // The second filed record, as plmtool's data file holds it.
    model::MeasurementRecord filedRecord() {
        model::CustomerTree tree;
        FailingReporter reporter;
        EXPECT_TRUE(tree.load(support::fromFsPath(dir.file("home/DATA/QBX.DAT")), reporter));
        const model::MeasurementName* name =
            model::findMeasurementName(tree, sj("東京"), sj("回路A"), sj("点1"));
        if (!name || name->records.count() < 2) {
            ADD_FAILURE() << "record not filed";
            return {};
        }
        return name->records.at(1);
    }

    test::TempDir dir;
};

TEST_F(CliOutput, CsvWritesTheFiledRecordUnderItsNames) {
    const ToolRun r = plmtool(dir, {"csv", "東京", "回路A", "点1", "1", "out.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    report::CsvLayout layout;
    layout.itemName1 = sj("需要家名称");
    layout.itemName2 = sj("試験回路名称");
    layout.itemName3 = sj("測定ﾃﾞｰﾀ名称");
    const report::CsvNames names{sj("東京"), sj("回路A"), sj("点1")};
    EXPECT_EQ(test::readFile(dir.file("out.csv")), report::csvText(layout, names, filedRecord()));
}

TEST_F(CliOutput, ReportWritesAnA4PdfOrA150DpiPng) {
    ToolRun r = plmtool(dir, {"report", "東京", "回路A", "点1", "0", "page.pdf"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string pdf = test::readFile(dir.file("page.pdf"));
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    EXPECT_NE(pdf.find("/MediaBox [0 0 595"), std::string::npos);  // A4 portrait in points

    r = plmtool(dir, {"report", "東京", "回路A", "点1", "1", "page.PNG"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QImage png(QString::fromStdString(dir.file("page.PNG")));
    EXPECT_EQ(png.size(), QSize(1240, 1754));
}

TEST_F(CliOutput, FailuresAndBadUsage) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;  // expected part of stderr
    };
    const std::string missing = dir.file("nowhere/out.csv");
    const std::vector<Case> cases = {
        {{"csv", "東京", "回路A", "点1", "1", missing}, 1, "OpenError\n" + missing + "\n"},
        {{"csv", "東京", "回路A", "点1", "2", "out.csv"}, 1, "no record 2"},
        {{"report", "東京", "回路B", "点1", "0", "out.pdf"}, 1, "no such measurement name"},
        {{"report", "東京", "回路A", "点1", "0", "out.svg"}, 2, "usage"},
        {{"csv", "東京", "回路A", "点1", "x", "out.csv"}, 2, "usage"},
        {{"csv", "東京"}, 2, "usage"},
    };
    for (const Case& c : cases) {
        const ToolRun r = plmtool(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args.back();
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir.file("out.csv")));
    EXPECT_FALSE(fs::exists(dir.file("out.pdf")));
}

}  // namespace
}  // namespace plm::cli
