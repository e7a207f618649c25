#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>

#include <algorithm>
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

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

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

// Every plmtool command that writes a named output file, writing to `out`.
std::vector<std::vector<std::string>> outputCommands(const std::string& out) {
    return {
        {"csv", "東京", "回路A", "点1", "1", out},
        {"report", "東京", "回路A", "点1", "0", out + ".pdf"},
        {"report", "東京", "回路A", "点1", "0", out + ".png"},
        {"export", "東京", out},
        {"trend", "東京", "回路A", "点1", "--csv", out},
        {"limits-export", "東京", out},
    };
}

// The file a command of outputCommands writes.
std::string outputOf(const std::vector<std::string>& command, const std::string& out) {
    return command[0] == "report" ? command.back() : out;
}

std::string keptText(const std::string& path) {
    return "指定のファイルは既に存在しています\n" + path + "\n";
}

TEST_F(CliOutput, AnExistingOutputIsReplacedOnlyWithForce) {
    ASSERT_EQ(plmtool(dir, {"limits", "東京", "回路A", "--set", "close_max_ms=50"}).status, 0);
    const std::string out = dir.file("out.file");
    for (const std::vector<std::string>& command : outputCommands(out)) {
        SCOPED_TRACE(command[0] + " " + command.back());
        const std::string path = outputOf(command, out);
        test::writeFile(path, "kept");
        ToolRun r = plmtool(dir, command);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(keptText(path)), std::string::npos) << r.err;
        EXPECT_EQ(test::readFile(path), "kept");

        std::vector<std::string> forced = command;
        forced.push_back("--force");
        r = plmtool(dir, forced);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(test::readFile(path), "kept");
        fs::remove(path);
    }
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"err.txt", "home", "out.txt"}));
}

// Another user's link in a sticky folder (as /tmp is) aims at a file of the
// user running plmtool: the output replaces the link and the file behind it
// stays as it was. Without root the link is the test's own.
TEST_F(CliOutput, ALinkAtTheOutputNameIsReplacedNeverFollowed) {
    ASSERT_EQ(plmtool(dir, {"limits", "東京", "回路A", "--set", "close_max_ms=50"}).status, 0);
    const fs::path sticky = dir.path() / "shared";
    fs::create_directory(sticky);
    ASSERT_EQ(::chmod(sticky.c_str(), 01777), 0);
    const std::string victim = dir.file("victim");
    const passwd* nobody = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
    const std::string out = (sticky / "out.file").string();
    for (const std::vector<std::string>& command : outputCommands(out)) {
        SCOPED_TRACE(command[0] + " " + command.back());
        const std::string path = outputOf(command, out);
        test::writeFile(victim, "only the owner writes this");
        fs::create_symlink(victim, path);
        if (nobody) {
            ASSERT_EQ(::lchown(path.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        }

        ToolRun r = plmtool(dir, command);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(keptText(path)), std::string::npos) << r.err;
        EXPECT_TRUE(fs::is_symlink(path));

        std::vector<std::string> forced = command;
        forced.push_back("--force");
        r = plmtool(dir, forced);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(test::readFile(victim), "only the owner writes this");
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path)));
        EXPECT_GT(fs::file_size(path), 0u);
        fs::remove(path);
    }
    EXPECT_TRUE(fs::is_empty(sticky)) << "no temporary file is left";
}

// A link planted in place of a settings, limits or log file is not followed:
// the file it leads to stays as it was and the link is named on stderr.
TEST_F(CliOutput, ALinkInPlaceOfASystemFileIsReportedAndNotFollowed) {
    const std::string victim = dir.file("victim");
    test::writeFile(victim, "untouched");
    const auto plant = [&](const std::string& name) {
        const std::string path = dir.file("home/" + name);
        fs::remove(path);
        fs::create_symlink(victim, path);
        return path;
    };
    const auto linkText = [](const std::string& path) {
        return "ファイルの場所にシンボリックリンクが置かれているため開きません\n" + path;
    };

    const std::string ini = plant("PLMView.INI");
    ToolRun r = plmtool(dir, {"list"});
    EXPECT_EQ(r.status, 0) << r.err;
    const size_t named = r.err.find(linkText(ini));
    EXPECT_NE(named, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(linkText(ini), named + 1), std::string::npos) << "said once";
    fs::remove(ini);

    const std::string limits = plant("LIMITS.INI");
    r = plmtool(dir, {"limits", "東京", "回路A", "--set", "close_max_ms=50"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(linkText(limits)), std::string::npos) << r.err;
    fs::remove(limits);

    std::vector<std::string> logs;
    for (const char* name : {"PLMView0.LOG", "PLMView1.LOG", "PLMView2.LOG", "PLMView3.LOG"})
        logs.push_back(plant(name));
    r = plmtool(dir, {"csv", "東京", "回路A", "点1", "1", dir.file("nowhere/out.csv")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("シンボリックリンクが置かれているため開きません"), std::string::npos)
        << r.err;
    EXPECT_NE(test::readFile(dir.file("home/PLMViewE.LOG")).find("OpenError"), std::string::npos);
    for (const std::string& log : logs)
        EXPECT_TRUE(fs::is_symlink(log));

    EXPECT_EQ(test::readFile(victim), "untouched");
}

// Margins that leave nothing of the A4 page to print on are refused, naming
// the settings, rather than printing a blank page.
TEST_F(CliOutput, MarginsThatLeaveNoRoomAreRefusedByName) {
    ASSERT_EQ(plmtool(dir, {"list"}).status, 0);
    const std::string ini = dir.file("home/PLMView.INI");
    std::string text = test::readFile(ini);
    const std::string key = "PrtBlankLeft=5";
    ASSERT_NE(text.find(key), std::string::npos);
    text.replace(text.find(key), key.size(), "PrtBlankLeft=99999");
    test::writeFile(ini, text);
    for (const std::string out : {"page.pdf", "page.png"}) {
        const ToolRun r = plmtool(dir, {"report", "東京", "回路A", "点1", "0", out});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("印刷の余白が大きすぎて印刷できる範囲がありません\n[Param] "
                             "PrtBlankLeft=99999 PrtBlankRight=5 (mm)"),
                  std::string::npos)
            << r.err;
        EXPECT_FALSE(fs::exists(dir.file(out)));
    }
    EXPECT_EQ(plmtool(dir, {"report", "東京", "回路A", "--summary", "book.pdf"}).status, 1);
    EXPECT_FALSE(fs::exists(dir.file("book.pdf")));
}

}  // namespace
}  // namespace plm::cli
