#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/tool_run.h"
#include "common/temp_dir.h"
#include "model/data_file.h"
#include "model/tree_test_util.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::cli {
namespace {

namespace fs = std::filesystem;

struct SilentReporter : model::ErrorReporter {
    void report(const std::string& text, model::MessageIcon) override { ADD_FAILURE() << text; }
};

const std::string kListTwo =
    "{\"lineSettings\":{\"port\":1,\"baud\":38400,\"byteSize\":8,\"stopBits\":0,\"parity\":0,"
    "\"flow\":1},\"customers\":[{\"name\":\"東京\",\"circuits\":[{\"name\":\"回路A\",\"names\":"
    "[{\"name\":\"点1\",\"records\":2}]}]}]}\n";

TEST(CliTree, RegisterListShowExportImportEndToEnd) {
    test::TempDir dir;
    const std::string capture = fs::absolute(test::dataPath("capture_two.txt")).string();
    ToolRun r = plmtool(dir, {"register", capture, "東京", "回路A", "点1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "filed No.1  2015/01/06 05:56  遮断\n"
              "filed No.2  2015/01/06 06:01  投入\n"
              "registered 2 record(s) under 東京 / 回路A / 点1 (2 in all)\n");
    EXPECT_EQ(plmtool(dir, {"list", "--json"}).out, kListTwo);

    // --replace keeps two records; a plain register appends and renumbers.
    // --verbose shows the protocol texts as they happen, before the same lines.
    r = plmtool(dir, {"register", capture, "東京", "回路A", "点1", "--replace", "--verbose"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_LT(r.out.find("接点データ受信完了"), r.out.find("filed No.1  2015/01/06 05:56"));
    EXPECT_NE(r.out.find("registered 2 record(s) under 東京 / 回路A / 点1 (2 in all)\n"),
              std::string::npos);
    EXPECT_EQ(plmtool(dir, {"list", "--json"}).out, kListTwo);
    ASSERT_EQ(plmtool(dir, {"register", capture, "東京", "回路A", "点1"}).status, 0);
    r = plmtool(dir, {"show", "東京", "回路A", "点1", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("データ№: 4\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("電圧電流: 100 V\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("接触(R相): 0.0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("真空度(T相): 0.0\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Sesshoku"), std::string::npos) << "no settings key among the labels";
    EXPECT_NE(r.out.find("動作時間[ms] 2CH: 29 --- --- --- --- --- --- --- --- ---\n"),
              std::string::npos)
        << r.out;

    r = plmtool(dir, {"show", "東京", "回路A", "点1", "0", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"customer\":\"東京\",\"circuit\":\"回路A\",\"name\":\"点1\"", 0), 0u);
    EXPECT_NE(r.out.find("{\"label\":\"データ№\",\"value\":\"1\"}"), std::string::npos);
    EXPECT_NE(r.out.find("{\"label\":\"VacuumT\",\"value\":\"0.0\"}"), std::string::npos)
        << "scripts keep the keys";

    ASSERT_EQ(plmtool(dir, {"export", "東京", "out.QBX"}).status, 0);
    r = plmtool(dir, {"import", "out.QBX"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "東京_1\n");
    EXPECT_NE(r.err.find("次の名前に変更して取り込みます\n東京_1"), std::string::npos);

    // What plmtool wrote loads back and writes the same bytes.
    const std::string path = (dir.path() / "home" / "DATA" / "QBX.DAT").string();
    model::CustomerTree tree;
    SilentReporter reporter;
    ASSERT_TRUE(tree.load(path, reporter));
    EXPECT_EQ(model::writeDataFile(tree), test::readFile(path));
    EXPECT_EQ(tree.customers.count(), 2);
}

// The device type comes from system.ini: what a record shows, whether it was
// read from the data file or just registered, is the configured one.
TEST(CliTree, RecordsShowTheConfiguredDeviceType) {
    test::TempDir dir;
    const std::string capture = fs::absolute(test::dataPath("capture_two.txt")).string();
    ASSERT_EQ(plmtool(dir, {"register", capture, "東京", "回路A", "点1"}).status, 0);
    const auto shownType = [&](const char* name) {
        const ToolRun r = plmtool(dir, {"show", "東京", "回路A", name, "0"});
        EXPECT_EQ(r.status, 0) << r.err;
        const size_t at = r.out.find("装置タイプ: ");
        return at == std::string::npos ? r.out : r.out.substr(at, r.out.find('\n', at) - at);
    };
    EXPECT_EQ(shownType("点1"), "装置タイプ: ８ＣＨ");

    test::writeFile(dir.file("home/system.ini"), "[Setting]\r\nDeviceType=4\r\n");
    EXPECT_EQ(shownType("点1"), "装置タイプ: ４ＣＨ") << "read from the data file";
    ASSERT_EQ(plmtool(dir, {"register", capture, "東京", "回路A", "点2"}).status, 0);
    EXPECT_EQ(shownType("点2"), "装置タイプ: ４ＣＨ") << "registered";
}

std::string foldingFile() {
    return test::foldingDataFile();
}

const std::string kJoinNotice = std::string(test::kFoldingNotice) + "\n";

TEST(CliTree, NamesThatFoldTogetherKeepEveryRecord) {
    test::TempDir dir;
    test::writeFile(dir.file("in.QBX"), foldingFile());
    ToolRun r = plmtool(dir, {"import", "in.QBX"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "X\n");
    EXPECT_EQ(r.err, kJoinNotice);
    EXPECT_EQ(test::readFile(dir.file("in.QBX")), foldingFile());
    r = plmtool(dir, {"list"});
    EXPECT_EQ(r.out, "X\n  C\n    N (4)\n");
    EXPECT_EQ(r.err, "");

    // The same bytes as the data file: told on every read, kept by a write.
    const fs::path data = dir.path() / "home" / "DATA" / "QBX.DAT";
    test::writeFile(data.string(), foldingFile());
    r = plmtool(dir, {"list"});
    EXPECT_EQ(r.out, "X\n  C\n    N (4)\n");
    EXPECT_EQ(r.err, kJoinNotice);
    r = plmtool(dir, {"show", "x", "c", "n", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("備考: comment4\n"), std::string::npos) << r.out;
    // One breaker's history gives the position the joined name shows it at
    // (the first record of the file is the third in date order).
    r = plmtool(dir, {"breaker", "maker3", "type3", "num3", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"customer\":\"X\",\"circuit\":\"C\",\"name\":\"N\",\"index\":2,"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("},{"), std::string::npos) << "one measurement: " << r.out;
    const std::string capture = fs::absolute(test::dataPath("capture_two.txt")).string();
    r = plmtool(dir, {"register", capture, "X", "C", "M"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, kJoinNotice);
    r = plmtool(dir, {"list"});
    EXPECT_EQ(r.out, "X\n  C\n    M (2)\n    N (4)\n");
    EXPECT_EQ(r.err, "");
}

// A name that CP932 cannot hold is refused before anything is read or
// written, showing the character.
TEST(CliTree, NamesTheDataFileCannotHoldAreRefused) {
    test::TempDir dir;
    const std::string capture = fs::absolute(test::dataPath("capture_two.txt")).string();
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"register", capture, "😀", "B", "C"}, "保存できない文字が含まれています\nU+1F600 😀\n"},
        {{"register", capture, "A", "回路🙂", "C"},
         "保存できない文字が含まれています\nU+1F642 🙂\n"},
        {{"register", capture, "A", "B", "a\xFF"}, "保存できない文字が含まれています\n0xFF\n"},
        {{"show", "😀", "B", "C"}, "U+1F600 😀\n"},
        {{"export", "\xF0\x9F\x98", "out.QBX"}, "0xF0\n"},
    };
    for (const Case& c : cases) {
        ToolRun r = plmtool(dir, c.args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir.path() / "home" / "DATA" / "QBX.DAT"));
}

// Control characters of stored names and texts never reach the terminal raw.
TEST(CliTree, ControlCharactersAreShownEscaped) {
    test::TempDir dir;
    model::CustomerTree tree;
    model::MeasurementRecord record = test::richRecord(1);
    record.cond.comment = "red\x1B[31m";
    findOrAddMeasurementName(tree, "a\x1B]0;t\x07", "b", std::string("n\0\x7F", 3))
        .records.append(record);
    findOrAddMeasurementName(tree, "a\x1B]0;t\x07", "b", "m").records.append(record);
    SilentReporter reporter;
    ASSERT_TRUE(tree.save((dir.path() / "home" / "DATA" / "QBX.DAT").string(), reporter));
    ToolRun r = plmtool(dir, {"list"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "a\\x1B]0;t\\x07\n  b\n    m (1)\n    n\\x00\\x7F (1)\n");
    r = plmtool(dir, {"show", "a\x1B]0;t\x07", "b", "m"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("備考: red\\x1B[31m\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1B'), std::string::npos);
    r = plmtool(dir, {"list", "--json"});
    EXPECT_NE(r.out.find("\"name\":\"a\\u001b]0;t\\u0007\""), std::string::npos) << r.out;
}

TEST(CliTree, FailuresAndBadUsage) {
    test::TempDir dir;
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;  // a part of stderr
    };
    const Case cases[] = {
        {{"show", "a", "b"}, 2, "usage"},
        {{"show", "a", "b", "c", "x"}, 2, "INDEX"},
        {{"register", "missing.txt", "a"}, 2, "usage"},
        {{"show", "a", "b", "c"}, 1, "no such measurement name"},
        {{"export", "a", "out.QBX"}, 1, "保存する 需要家名称 を選んでください"},
        {{"import", "missing.QBX"}, 1, "no customers"},
        {{"register", "missing.txt", "a", "b", "c"}, 1, "missing.txt"},
    };
    for (const auto& c : cases) {
        ToolRun r = plmtool(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0] << ": " << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    // Nothing was filed by the failures.
    EXPECT_FALSE(fs::exists(dir.path() / "home" / "DATA" / "QBX.DAT"));

    // A data file that cannot be read stops the command before it saves.
    fs::create_directories(dir.path() / "home" / "DATA");
    test::writeFile((dir.path() / "home" / "DATA" / "QBX.DAT").string(), "garbage");
    ToolRun r = plmtool(
        dir, {"register", fs::absolute(test::dataPath("capture_two.txt")).string(), "a", "b", "c"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ｱｰｶｲﾌﾞ異常"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.path() / "home" / "DATA" / "QBX.DAT"));
}

// The read-only commands keep only what they show, yet a file damaged in a
// record they pass over fails with the text a load that leaves the file in
// place reports, and the file stays where it is.
TEST(CliTree, DamageInAPassedOverRecordFailsAsALoadDoes) {
    test::TempDir dir;
    const std::string capture = fs::absolute(test::dataPath("capture_two.txt")).string();
    ASSERT_EQ(plmtool(dir, {"register", capture, "東京", "回路A", "点1"}).status, 0);
    ASSERT_EQ(plmtool(dir, {"register", capture, "大阪", "回路B", "点2"}).status, 0);
    const std::string path = (dir.path() / "home" / "DATA" / "QBX.DAT").string();
    // 大阪 sorts first; the last record of 東京 loses its last two bytes.
    std::string bytes = test::readFile(path);
    bytes.resize(bytes.size() - 2);
    test::writeFile(path, bytes);

    const std::string copy = dir.file("copy.DAT");
    test::writeFile(copy, bytes);
    model::CustomerTree tree;
    struct Recording : model::ErrorReporter {
        std::string text;
        void report(const std::string& t, model::MessageIcon) override { text = t; }
    } loadReport;
    ASSERT_FALSE(tree.load(support::fromFsPath(copy), loadReport, model::DamagedFile::Leave));
    const std::string expected = support::toUtf8(loadReport.text) + "\n";
    ASSERT_NE(expected.find("ｱｰｶｲﾌﾞ異常"), std::string::npos) << expected;

    const std::vector<std::vector<std::string>> commands = {
        {"list"},
        {"show", "大阪", "回路B", "点2", "1"},
        {"csv", "大阪", "回路B", "点2", "0", "out.CSV"},
        {"export", "大阪", "out.QBX"},
        {"csv", "大阪", "batch"},  // every measurement of a customer
        {"report", "大阪", "回路B", "batch.pdf"},
        {"analyze", "大阪", "回路B", "点2", "0"},
        {"trend", "大阪", "回路B", "点2"},
        {"limits", "大阪", "回路B", "--set", "close_max_ms=30"},
    };
    for (const auto& args : commands) {
        ToolRun r = plmtool(dir, args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(r.err.substr(0, expected.size()), expected) << args[0];
        EXPECT_EQ(test::readFile(path), bytes) << args[0];
    }
    EXPECT_FALSE(fs::exists(dir.path() / "out.CSV"));
    EXPECT_FALSE(fs::exists(dir.path() / "out.QBX"));
    EXPECT_FALSE(fs::exists(dir.path() / "batch"));
    EXPECT_FALSE(fs::exists(dir.path() / "batch.pdf"));
}

}  // namespace
}  // namespace plm::cli
