#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "cli/tool_run.h"
#include "common/fixtures.h"
#include "common/temp_dir.h"

namespace plm::cli {
namespace {

using test::filesIn;
namespace fs = std::filesystem;

std::string capturePath() {
    return fs::absolute(test::dataPath("capture_two.txt")).string();
}

std::string dataFile(const test::TempDir& dir) {
    return (dir.path() / "home" / "DATA" / "QBX.DAT").string();
}

// Two writers at once, twenty times: neither loses the other's records.
TEST(CliDataSafety, ConcurrentRegistersKeepEveryRecord) {
    test::TempDir dir;
    ASSERT_EQ(plmtool(dir, {"list"}).status, 0);  // settings written once, before the race
    const std::string tool =
        std::string("'") + PLMTOOL_PATH + "' --home home register '" + capturePath() + "' ";
    for (int pair = 0; pair < 20; ++pair) {
        const std::string n = std::to_string(pair);
        const std::string command = "cd '" + dir.path().string() + "' && (" + tool + "A t a" + n +
                                    " >/dev/null & " + tool + "B t b" + n +
                                    " >/dev/null & wait) 2>err.txt";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    const ToolRun list = plmtool(dir, {"list"});
    ASSERT_EQ(list.status, 0) << list.err;
    for (int pair = 0; pair < 20; ++pair) {
        for (const char* name : {"a", "b"}) {
            const std::string line = "    " + std::string(name) + std::to_string(pair) + " (2)\n";
            EXPECT_NE(list.out.find(line), std::string::npos) << line << list.out;
        }
    }
    EXPECT_EQ(test::readFile(dir.file("err.txt")), "");
}

// Reading commands never rename a damaged data file; a writer moves it aside
// and says where; an import renames nothing of the file it was given.
TEST(CliDataSafety, OnlyAWriterMovesADamagedFileAside) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "home" / "DATA");
    const std::string damaged("\x05hello\x06\0\0\0", 10);
    test::writeFile(dataFile(dir), damaged);
    const std::vector<std::vector<std::string>> readers = {
        {"list"},
        {"show", "a", "b", "c"},
        {"csv", "a", "b", "c", "0", "out.csv"},
        {"export", "a", "out.QBX"},
    };
    for (const auto& args : readers) {
        const ToolRun run = plmtool(dir, args);
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_NE(run.err.find("データファイルが読めません"), std::string::npos) << run.err;
        EXPECT_EQ(test::readFile(dataFile(dir)), damaged) << args[0];
    }
    EXPECT_EQ(filesIn(dir.path() / "home" / "DATA"), std::vector<std::string>{"QBX.DAT"});

    test::writeFile(dir.file("notes.QBX"), "plain text");
    ToolRun run = plmtool(dir, {"import", "notes.QBX"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(test::readFile(dir.file("notes.QBX")), "plain text");
    EXPECT_EQ(test::readFile(dataFile(dir)), damaged);

    run = plmtool(dir, {"register", capturePath(), "A", "t", "n"});
    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> files = filesIn(dir.path() / "home" / "DATA");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(std::regex_match(files[0], std::regex("QBX\\.DAT_20[0-9]{12}"))) << files[0];
    EXPECT_NE(run.err.find("元のファイルは次の名前に変更しました\n" +
                           (dir.path() / "home" / "DATA" / files[0]).string()),
              std::string::npos)
        << run.err;
}

// A data file that is no regular file is refused without waiting and stays.
TEST(CliDataSafety, NonRegularDataFileIsLeftAlone) {
    test::TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--data", "fifo", "list"},
             {"--data", "fifo", "register", capturePath(), "A", "t", "n"},
             {"--data", "/dev/zero", "list"},
         }) {
        const ToolRun run = plmtool(dir, args);
        EXPECT_EQ(run.status, 1) << args[1] << " " << args[2];
        EXPECT_NE(run.err.find("ファイルを開くことが出来ません"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(fs::is_fifo(dir.file("fifo")));
    EXPECT_TRUE(fs::is_character_file("/dev/zero"));
}

// A link that leads nowhere or in a loop names no data file: writers refuse
// it at once instead of retrying the create for ever, and nothing is made
// where the link points.
TEST(CliDataSafety, DanglingOrLoopingLinkIsRefusedAtOnce) {
    test::TempDir dir;
    ASSERT_EQ(plmtool(dir, {"register", capturePath(), "A", "t", "n"}).status, 0);
    ASSERT_EQ(plmtool(dir, {"export", "A", "a.qbx"}).status, 0);
    fs::create_symlink(dir.file("nowhere"), dir.file("dangling"));
    fs::create_symlink(dir.file("loop"), dir.file("loop"));
    for (const std::string link : {"dangling", "loop"}) {
        for (const auto& args : std::vector<std::vector<std::string>>{
                 {"--data", link, "register", capturePath(), "A", "t", "n"},
                 {"--data", link, "import", "a.qbx"},
             }) {
            const auto start = std::chrono::steady_clock::now();
            const ToolRun run = plmtool(dir, args);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
            EXPECT_EQ(run.status, 1) << link << " " << args[2];
            EXPECT_NE(run.err.find("ファイルを開くことが出来ません"), std::string::npos) << run.err;
        }
        EXPECT_TRUE(fs::is_symlink(dir.file(link)));
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.file("nowhere"))));
}

// A command held up by another program's lock says so once, then goes on
// when the lock is released.
TEST(CliDataSafety, WaitingForAnotherProgramsLockIsSaidOnce) {
    test::TempDir dir;
    ASSERT_EQ(plmtool(dir, {"register", capturePath(), "A", "t", "n"}).status, 0);
    const std::string data = (dir.path() / "home" / "DATA" / "QBX.DAT").string();
    const int fd = ::open(data.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    std::thread release([fd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        ::close(fd);
    });
    const ToolRun run = plmtool(dir, {"list"});
    release.join();
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string notice = "ファイルは他のプログラムが使用中です";
    const auto first = run.err.find(notice);
    ASSERT_NE(first, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(notice, first + 1), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(data), std::string::npos) << run.err;
}

TEST(CliDataSafety, BadOptionsAreUsageErrors) {
    test::TempDir dir;
    test::writeFile(dir.file("afile"), "x");
    fs::create_directories(dir.path() / "afolder");
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"--home", "afile", "list"}, "--home must name a folder"},
        {{"--data", "afolder", "list"}, "--data must name a file"},
        {{"list", "--bogus"}, "unknown option '--bogus'"},
        {{"csv", "a", "b", "c", "0", "x.csv", "--json"}, "unknown option '--json'"},
        {{"list", "--port", "3"}, "unknown option '--port'"},
        {{"register", "x", "a", "b", "c", "--replace=yes"}, "--replace takes no value"},
        {{"receive", "--device"}, "--device needs a value"},
    };
    for (const Case& c : cases) {
        const ToolRun run = plmtool(dir, c.args);
        EXPECT_EQ(run.status, 2) << c.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("usage: plmtool"), std::string::npos) << run.err;
    }
    EXPECT_EQ(test::readFile(dir.file("afile")), "x");
}

TEST(CliDataSafety, HelpListsTheCommandsInTheReadmeOrder) {
    test::TempDir dir;
    const ToolRun run = plmtool(dir, {"--help"});
    ASSERT_EQ(run.status, 0);
    std::vector<std::string> order;
    const std::regex line("\n  plmtool ([a-z-]+) ");
    for (std::sregex_iterator it(run.out.begin(), run.out.end(), line), end; it != end; ++it)
        order.push_back((*it)[1]);
    const std::vector<std::string> expected = {
        "decode",        "register",      "list",    "show",    "csv",   "report",
        "export",        "import",        "receive", "analyze", "trend", "limits",
        "limits-export", "limits-import", "backups", "restore", "sync",  "archive"};
    EXPECT_EQ(order, expected);
}

}  // namespace
}  // namespace plm::cli
