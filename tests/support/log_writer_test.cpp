#include "support/log_writer.h"

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
#include <set>
#include <sstream>
#include <thread>

#include "common/fixtures.h"
#include "common/temp_dir.h"
#include "support/file_lock.h"
#include "support/paths.h"

namespace plm::support {
namespace {

using test::readFile;
using test::splitLines;
using test::TempDir;

std::time_t localTime(int year, int month, int day, int hour = 12) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

const std::regex kStamped(R"(\d\d/\d\d \d\d:\d\d:\d\d\[\d{8}\]\( *\d+\).*)");

TEST(LogPeriod, CountsWholeDaysFrom1998) {
    struct Case {
        std::time_t t;
        int daysPerFile;
        long period;
    };
    const Case cases[] = {
        {localTime(1998, 1, 1, 0), 7, 0},  {localTime(1998, 1, 8, 0), 7, 0},
        {localTime(1998, 1, 8, 23), 7, 0}, {localTime(1998, 1, 9, 0), 7, 1},
        {localTime(1998, 2, 6), 7, 5},     {localTime(1998, 1, 9), 1, 7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(logPeriod(c.t, c.daysPerFile), c.period) << std::ctime(&c.t);
    }
}

TEST(LogPeriod, FileIndexWrapsAfterFileCountPeriods) {
    LogWriter log;
    log.setLog("/x/COMM_");
    EXPECT_EQ(log.periodFile(localTime(1998, 1, 9)), "/x/COMM_1.LOG");
    EXPECT_EQ(log.periodFile(localTime(1998, 2, 6)), "/x/COMM_1.LOG");
    EXPECT_EQ(log.fallbackFile(), "/x/COMM_E.LOG");
    // A clock before the epoch still names one of the rotating files.
    EXPECT_EQ(log.periodFile(localTime(1997, 12, 20)), "/x/COMM_3.LOG");
}

TEST(LogLockName, LastTwentyCharactersWithSeparatorsReplaced) {
    EXPECT_EQ(logLockName("/home/a b/x/COMM_0.LOG"), "ome_a_b_x_COMM_0_LOG");
    EXPECT_EQ(logLockName("C:\\Q\\X.LOG"), "C:_Q_X_LOG");
}

class LogWriterTest : public ::testing::Test {
  protected:
    std::string base() const { return dir.file("COMM_"); }
    std::string current() const { return log.periodFile(std::time(nullptr)); }

    TempDir dir;
    LogWriter log;
};

TEST_F(LogWriterTest, OffWritesNothing) {
    log.writeLine("a");
    log.writeStart("b");
    log.writeRaw("c");
    log.writeFormat("%d", 1);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(LogWriterTest, LineVariantsAndPrefix) {
    log.setLog(base());
    log.writeLine("first");
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    log.writeStart("**>");
    log.writeRaw("continued");
    log.writeRaw("raw");
    log.writeFormat("SetTimeout[%ld]", -1L);
    const auto all = splitLines(readFile(current()));
    ASSERT_EQ(all.size(), 4u);
    EXPECT_TRUE(std::regex_match(all[0], kStamped));
    EXPECT_EQ(all[0].substr(34), "first");
    EXPECT_EQ(all[1].substr(34), "**>continued");
    EXPECT_EQ(all[2], "raw");
    EXPECT_EQ(all[3].substr(34), "SetTimeout[-1]");
    // The second stamped line shows the pause since the first, right-aligned in eight places.
    const std::string since = all[1].substr(24, 10);
    ASSERT_EQ(since.front(), '(');
    ASSERT_EQ(since.back(), ')');
    const long ms = std::stol(since.substr(1, 8));
    EXPECT_GE(ms, 250);
    EXPECT_LT(ms, 1000);
    EXPECT_EQ(since.substr(1, 5), "     ");
}

TEST_F(LogWriterTest, FileOfAnEarlierCycleIsRestarted) {
    log.setLog(base());
    log.writeLine("old");
    log.writeLine("same period");
    ASSERT_EQ(splitLines(readFile(current())).size(), 2u);
    // 28 days back: the same file index, four periods earlier.
    const std::time_t old = std::time(nullptr) - 28 * 86400;
    const timespec times[2] = {{old, 0}, {old, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, current().c_str(), times, 0), 0);
    log.writeLine("new");
    const auto all = splitLines(readFile(current()));
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].substr(34), "new");
    // The write stamps the file with its own time, so the next one appends.
    struct stat st {};
    ASSERT_EQ(stat(current().c_str(), &st), 0);
    EXPECT_LE(std::abs(st.st_mtime - std::time(nullptr)), 2);
}

TEST_F(LogWriterTest, FileOverTheSizeLimitIsRestarted) {
    log.setLog(base(), 7, 4, 10000, 100);
    test::writeFile(current(), std::string(100, 'x') + "\n");
    log.writeLine("kept");  // 101 bytes is over the limit: deleted first
    EXPECT_EQ(splitLines(readFile(current())).size(), 1u);
    log.writeRaw(std::string(60, 'y'));  // 39 + 61 bytes: at the limit, not over it
    log.writeRaw("appended");
    EXPECT_EQ(splitLines(readFile(current())).size(), 3u);
    log.writeRaw("fresh");  // 109 bytes before it: over the limit
    EXPECT_EQ(readFile(current()), "fresh\n");
}

TEST_F(LogWriterTest, FileHeldByAnotherWriterGoesToFallback) {
    log.setLog(base(), 7, 4, 300, 100);
    log.writeLine("before");
    const std::string before = readFile(current());
    support::UniqueFd holder(open(current().c_str(), O_WRONLY));
    ASSERT_EQ(flock(holder.get(), LOCK_EX | LOCK_NB), 0);
    test::writeFile(log.fallbackFile(), std::string(200, 'z'));  // over the limit: replaced

    const auto start = std::chrono::steady_clock::now();
    log.writeLine("diverted");
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
    EXPECT_EQ(readFile(current()), before);
    const auto spare = splitLines(readFile(log.fallbackFile()));
    ASSERT_EQ(spare.size(), 1u);
    EXPECT_EQ(spare[0].substr(34), "diverted");

    holder.reset();
    log.writeLine("back");
    EXPECT_EQ(splitLines(readFile(current())).size(), 2u);
}

// Without a runtime folder of the user's own the lock of a log lies in the
// program folder, never in the temporary folder every user shares.
TEST_F(LogWriterTest, LockFileStaysOutOfTheSharedTemporaryFolder) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string kept = runtime ? runtime : "";
    unsetenv("XDG_RUNTIME_DIR");
    setProgramFolder(dir.path().string());
    log.setLog(base());
    log.writeLine("locked");
    setProgramFolder("");
    if (runtime)
        setenv("XDG_RUNTIME_DIR", kept.c_str(), 1);
    const std::string lock = logLockName(current());
    EXPECT_TRUE(std::filesystem::exists(dir.file(lock)));
    EXPECT_FALSE(std::filesystem::exists("/tmp/" + lock));
}

TEST_F(LogWriterTest, FolderThatCannotTakeTheLogDropsTheLineAtOnce) {
    log.setLog(dir.file("missing/COMM_"));  // the full ten seconds of retries
    const auto start = std::chrono::steady_clock::now();
    log.writeLine("lost");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(LogWriterTest, TwoProcessesWritingAtOnceLoseAndMixNothing) {
    constexpr int kLines = 2000;
    log.setLog(base());
    const std::string padding(120, '-');
    pid_t children[2];
    for (int p = 0; p < 2; ++p) {
        children[p] = fork();
        ASSERT_GE(children[p], 0);
        if (children[p] == 0) {
            for (int i = 0; i < kLines; ++i) {
                log.writeFormat("P%d line %04d %s end", p, i, padding.c_str());
            }
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::set<std::string> seen;
    for (const auto& line : splitLines(readFile(current()))) {
        ASSERT_TRUE(std::regex_match(line, kStamped)) << line;
        const std::string text = line.substr(34);
        ASSERT_EQ(text.size(), 13 + padding.size() + 4) << line;
        seen.insert(text.substr(0, 12));
    }
    EXPECT_EQ(seen.size(), 2u * kLines);
    EXPECT_FALSE(std::filesystem::exists(log.fallbackFile()));
}

}  // namespace
}  // namespace plm::support
