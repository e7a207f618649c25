#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "common/fixtures.h"
#include "common/temp_dir.h"

namespace {

using plm::test::splitLines;

struct ToolRun {
    int status = -1;
    std::string out, err;
};

// Runs plmtool with its program folder in `home`, stdout and stderr kept apart.
ToolRun plmtool(const plm::test::TempDir& home, const std::string& args) {
    std::string out = home.file("stdout.txt");
    std::string err = home.file("stderr.txt");
    std::string command = std::string("'") + PLMTOOL_PATH + "' --home '" + home.path().string() +
                          "' " + args + " >'" + out + "' 2>'" + err + "'";
    int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = plm::test::readFile(out);
    run.err = plm::test::readFile(err);
    return run;
}

std::string fixture(const std::string& name) {
    return std::filesystem::absolute(plm::test::dataPath(name)).lexically_normal().string();
}

TEST(CliDecode, PrintsProgressThenOneLinePerRecord) {
    plm::test::TempDir home;
    ToolRun run = plmtool(home, "decode '" + fixture("capture_two.txt") + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    std::vector<std::string> out = splitLines(run.out);
    ASSERT_GE(out.size(), 4u);
    EXPECT_EQ(out[0], "ファイルオープン:" + fixture("capture_two.txt"));
    EXPECT_EQ(out[1], "ファイル読み込み中...");
    EXPECT_EQ(out[4], "転送数：フル=87 , [件数][終了]除く=81");
    std::vector<std::string> records(out.end() - 2, out.end());
    EXPECT_EQ(
        records,
        (std::vector<std::string>{
            "データ№=7, 試験日時=2015/01/06 05:56, 計測時間=50 ms, 測定周期=1 ms, 接点データ数=51",
            "データ№=8, 試験日時=2015/01/06 06:01, 計測時間=50 ms, 測定周期=1 ms, 接点データ数=51",
        }));
    EXPECT_EQ(out[out.size() - 3], "00000000");
    // Every command loads the settings first, so a first run writes both files.
    EXPECT_TRUE(std::filesystem::exists(home.path() / "system.ini"));
}

TEST(CliDecode, JsonGoesAloneToStdout) {
    plm::test::TempDir home;
    ToolRun run = plmtool(home, "decode '" + fixture("capture_two.txt") + "' --json");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(splitLines(run.out).size(), 1u) << run.out;
    EXPECT_EQ(run.out.rfind("{\"outcome\":\"completed\",\"records\":[{\"dataNo\":7,", 0), 0u)
        << run.out;
    EXPECT_NE(run.out.find("\"dataNo\":8,\"dateTime\":\"2015/01/06 06:01\",\"dateValid\":true,"
                           "\"measTime\":\"50 ms\",\"measPeriod\":\"1 ms\",\"samples\":51,"),
              std::string::npos);
    EXPECT_NE(run.out.find("\"vcValue\":100,\"vcEndValue\":10}]}"), std::string::npos);
    EXPECT_NE(run.err.find("転送総数\n0057\n"), std::string::npos);
}

TEST(CliDecode, FailuresExitWithTheSystemText) {
    plm::test::TempDir home;
    ToolRun bad = plmtool(home, "decode '" + fixture("capture_bad_end.txt") + "'");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(splitLines(bad.err),
              std::vector<std::string>{"終了コードに 00000000 又は FFFFFFFF 以外が転送されました"});
    EXPECT_EQ(bad.out.find("データ№="), std::string::npos);

    ToolRun json = plmtool(home, "decode '" + fixture("capture_bad_end.txt") + "' --json");
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.out,
              "{\"outcome\":\"failed\",\"message\":\"終了コードに 00000000 又は FFFFFFFF "
              "以外が転送されました\",\"records\":[]}\n");

    std::string missing = home.file("none.txt");
    ToolRun absent = plmtool(home, "decode '" + missing + "'");
    EXPECT_EQ(absent.status, 1);
    EXPECT_EQ(absent.err, "ファイルが存在しません:" + missing + "\n");

    EXPECT_EQ(plmtool(home, "decode").status, 2);
}

}  // namespace
