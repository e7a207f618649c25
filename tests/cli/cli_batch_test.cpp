#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>
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

using test::filesIn;
namespace fs = std::filesystem;
using support::sj;

std::string shell(const std::string& command) {
    std::string out;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

int pdfPages(const std::string& path) {
    const std::string info = shell("pdfinfo '" + path + "'");
    std::smatch m;
    return std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)")) ? std::stoi(m[1]) : -1;
}

// "circuit/name/No" of a report page, read back from its text.
std::string pageLabel(const std::string& path, int page) {
    const std::string p = std::to_string(page);
    const std::string text = shell("pdftotext -layout -f " + p + " -l " + p + " '" + path + "' -");
    std::smatch circuit, name, number;
    if (text.find("測定一覧") != std::string::npos)
        return "summary";
    if (!std::regex_search(text, circuit, std::regex("試験回路名称\\s+(\\S+)")) ||
        !std::regex_search(text, name, std::regex("測定ﾃﾞｰﾀ名称\\s+(\\S+)")) ||
        !std::regex_search(text, number, std::regex("データ№\\s+(\\d+)")))
        return "?";
    return circuit[1].str() + "/" + name[1].str() + "/" + number[1].str();
}

// Three measurement names with the two measurements of the sample capture each.
class CliBatch : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string capture = fs::absolute(test::dataPath("capture_two.txt")).string();
        for (const auto& [circuit, name] : std::vector<std::pair<std::string, std::string>>{
                 {"回路B", "点1"}, {"回路A", "点2"}, {"回路A", "点1"}}) {
            const ToolRun r = plmtool(dir, {"register", capture, "東京", circuit, name});
            ASSERT_EQ(r.status, 0) << r.err;
        }
    }

    test::TempDir dir;
};

TEST_F(CliBatch, ReportHasOnePagePerMeasurementInTreeOrder) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> pages;
    };
    const std::vector<Case> cases = {
        {{"東京", "all.pdf", "--summary"},
         {"summary", "回路A/点1/1", "回路A/点1/2", "回路A/点2/1", "回路A/点2/2", "回路B/点1/1",
          "回路B/点1/2"}},
        {{"東京", "回路A", "circuit.pdf"},
         {"回路A/点1/1", "回路A/点1/2", "回路A/点2/1", "回路A/点2/2"}},
        {{"東京", "回路B", "点1", "name.pdf"}, {"回路B/点1/1", "回路B/点1/2"}},
        {{"東京", "回路A", "点2", "1", "one.pdf", "--summary"}, {"summary", "回路A/点2/2"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"report"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun r = plmtool(dir, args);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string pdf = dir.file(c.args[c.args.size() - 1 - (c.pages[0] == "summary")]);
        EXPECT_EQ(r.out, pdf + "\n");
        ASSERT_EQ(pdfPages(pdf), static_cast<int>(c.pages.size())) << pdf;
        std::vector<std::string> labels;
        for (int page = 1; page <= static_cast<int>(c.pages.size()); ++page)
            labels.push_back(pageLabel(pdf, page));
        EXPECT_EQ(labels, c.pages);
    }
    const ToolRun r = plmtool(dir, {"report", "東京", "回路A", "p.pdf"});
    EXPECT_EQ(
        test::splitLines(r.err),
        (std::vector<std::string>{"1/4 東京 / 回路A / 点1 No.1", "2/4 東京 / 回路A / 点1 No.2",
                                  "3/4 東京 / 回路A / 点2 No.1", "4/4 東京 / 回路A / 点2 No.2"}));
}

TEST_F(CliBatch, SummaryJudgesEachMeasurementByTheLimitsOfItsName) {
    // No.1 of 点1 bounces 5 ms on channel 3, No.2 does not bounce; 点2 has no limits.
    ASSERT_EQ(plmtool(dir, {"limits", "東京", "回路A", "点1", "--set", "bounce_max_ms=1"}).status,
              0);
    const ToolRun r = plmtool(dir, {"report", "東京", "回路A", "visit.pdf", "--summary"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = shell("pdftotext -layout -f 1 -l 1 '" + dir.file("visit.pdf") + "' -");
    std::vector<std::string> verdicts;
    for (const std::string& line : test::splitLines(text)) {
        std::smatch last;
        if (line.find("回路A") != std::string::npos &&
            std::regex_search(line, last, std::regex("(\\S+)\\s*$")))
            verdicts.push_back(last[1].str());
    }
    EXPECT_EQ(verdicts, (std::vector<std::string>{"不合格", "合格", "判定なし", "判定なし"}))
        << text;
    EXPECT_NE(text.find("判定"), std::string::npos);

    // A limits file that does not read stops the summary before a file appears.
    test::writeFile(dir.file("home/LIMITS.INI"), "[Limits]\nnonsense\n");
    const ToolRun damaged = plmtool(dir, {"report", "東京", "回路A", "again.pdf", "--summary"});
    EXPECT_NE(damaged.status, 0);
    EXPECT_NE(damaged.err.find("判定基準ファイルが正しくありません"), std::string::npos)
        << damaged.err;
    EXPECT_FALSE(fs::exists(dir.file("again.pdf")));
}

TEST_F(CliBatch, EachCsvFileIsTheSingleMeasurementCsv) {
    const ToolRun r = plmtool(dir, {"csv", "東京", "回路A", "out"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> expected = {
        "東京_回路A_点1_No1_20150106_055652.CSV", "東京_回路A_点1_No2_20150106_060100.CSV",
        "東京_回路A_点2_No1_20150106_055652.CSV", "東京_回路A_点2_No2_20150106_060100.CSV"};
    std::vector<std::string> listed;
    for (const std::string& name : expected)
        listed.push_back(dir.file("out/" + name));
    EXPECT_EQ(test::splitLines(r.out), listed);
    EXPECT_EQ(filesIn(dir.path() / "out"), expected);
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::string name = i < 2 ? "点1" : "点2";
        const ToolRun single = plmtool(
            dir, {"csv", "東京", "回路A", name, std::to_string(i % 2), "single.csv", "--force"});
        ASSERT_EQ(single.status, 0) << single.err;
        EXPECT_EQ(test::readFile(listed[i]), test::readFile(dir.file("single.csv"))) << listed[i];
    }
}

TEST_F(CliBatch, ExistingFilesAreKeptUnlessForced) {
    ASSERT_EQ(plmtool(dir, {"csv", "東京", "回路B", "out"}).status, 0);
    const std::string kept = dir.file("out/東京_回路B_点1_No2_20150106_060100.CSV");
    test::writeFile(kept, "mine");
    test::writeFile(dir.file("r.pdf"), "mine");

    ToolRun r = plmtool(dir, {"csv", "東京", "回路B", "out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("exists: " + kept), std::string::npos) << r.err;
    EXPECT_EQ(test::readFile(kept), "mine");
    r = plmtool(dir, {"report", "東京", "r.pdf"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("指定のファイルは既に存在しています\n" + dir.file("r.pdf")),
              std::string::npos)
        << r.err;
    EXPECT_EQ(test::readFile(dir.file("r.pdf")), "mine");
    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"err.txt", "home", "out", "out.txt", "r.pdf"}));

    ASSERT_EQ(plmtool(dir, {"csv", "東京", "回路B", "out", "--force"}).status, 0);
    EXPECT_NE(test::readFile(kept), "mine");
    ASSERT_EQ(plmtool(dir, {"report", "東京", "r.pdf", "--force"}).status, 0);
    EXPECT_EQ(pdfPages(dir.file("r.pdf")), 6);
}

TEST_F(CliBatch, BadUsage) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"report", "東京", "回路A", "out.png"}, 2, "usage"},
        {{"report", "東京", "回路A", "点1", "x", "out.pdf", "--summary"}, 2, "usage"},
        {{"csv", "東京", "回路C", "out"}, 1, "no such name"},
        {{"report", "大阪", "out.pdf"}, 1, "no such name"},
    };
    for (const Case& c : cases) {
        const ToolRun r = plmtool(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.args[2];
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir.file("out")));
    EXPECT_FALSE(fs::exists(dir.file("out.pdf")));
}

// A long batch interrupted with SIGINT as soon as it has started.
class CliBatchInterrupt : public ::testing::Test {
  protected:
    static constexpr int kRecords = 300;

    void SetUp() override {
        ASSERT_EQ(plmtool(dir, {"list"}).status, 0);  // writes the program folder's INI files
        model::MeasurementName& name = model::findOrAddMeasurementName(tree, "A", "B", "C");
        for (int i = 0; i < kRecords; ++i) {
            model::MeasurementRecord r;
            r.dataNo = i + 1;
            r.measPeriod = 1;
            r.testDateTime.status = support::DateStatus::Valid;
            r.testDateTime.value = 45000.0 + i / 1440.0;
            r.contacts.assign(1001, 0);
            for (size_t s = 100 + static_cast<size_t>(i); s < r.contacts.size(); ++s)
                r.contacts[s] = 0x55;
            name.records.append(std::move(r));
        }
        struct Quiet : model::ErrorReporter {
            void report(const std::string& text, model::MessageIcon) override {
                ADD_FAILURE() << support::toUtf8(text);
            }
        } reporter;
        ASSERT_TRUE(tree.save(support::fromFsPath(dir.file("home/DATA/QBX.DAT")), reporter));
    }

    // Runs plmtool in dir, sends SIGINT once the first line arrives on the
    // watched stream (stdout or stderr); returns the exit status and the
    // whole stdout. The run's progress fits the pipe of the unwatched stream.
    std::pair<int, std::string> interruptAfterFirstLine(const std::vector<std::string>& args,
                                                        int watched) {
        int out[2];
        int err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0)
            return {-1, ""};
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::close(out[0]);
            ::close(err[0]);
            if (::chdir(dir.path().c_str()) != 0)
                ::_exit(127);
            std::vector<std::string> all = {PLMTOOL_PATH, "--home", "home"};
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (std::string& a : all)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        const int watchedFd = watched == 1 ? out[0] : err[0];
        std::string streams[2];
        std::string& seen = streams[watched == 1 ? 0 : 1];
        char c;
        while (seen.find('\n') == std::string::npos && ::read(watchedFd, &c, 1) == 1)
            seen += c;
        ::kill(pid, SIGINT);
        char buffer[4096];
        for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
            streams[0].append(buffer, static_cast<size_t>(n));
        ::close(out[0]);
        ::close(err[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, streams[0]};
    }

    model::CustomerTree tree;
    test::TempDir dir;
};

TEST_F(CliBatchInterrupt, CsvLeavesOnlyWholeFiles) {
    const auto [status, out] = interruptAfterFirstLine({"csv", "A", "out"}, 1);
    EXPECT_EQ(status, 1);
    const std::vector<std::string> listed = test::splitLines(out);
    ASSERT_GE(listed.size(), 1u);
    ASSERT_LT(listed.size(), static_cast<size_t>(kRecords)) << "the run was not interrupted";
    // Exactly the listed files, each whole: no half-written or temporary file.
    std::vector<std::string> expectedNames;
    for (const std::string& path : listed)
        expectedNames.push_back(fs::path(path).filename().string());
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(filesIn(dir.path() / "out"), expectedNames);
    report::CsvLayout layout;
    layout.itemName1 = sj("需要家名称");
    layout.itemName2 = sj("試験回路名称");
    layout.itemName3 = sj("測定ﾃﾞｰﾀ名称");
    const model::MeasurementName& name = *model::findMeasurementName(tree, "A", "B", "C");
    for (size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(test::readFile(listed[i]),
                  report::csvText(layout, {"A", "B", "C"}, name.records.at(static_cast<int>(i))))
            << listed[i];
    }
}

TEST_F(CliBatchInterrupt, ReportLeavesNoFile) {
    const auto [status, out] = interruptAfterFirstLine({"report", "A", "out.pdf"}, 2);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out, "");
    EXPECT_FALSE(fs::exists(dir.file("out.pdf")));
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"err.txt", "home", "out.txt"}));
}

}  // namespace
}  // namespace plm::cli
