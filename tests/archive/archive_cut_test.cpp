#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "archive/installation.h"
#include "archive/pg_connection.h"
#include "archive/pg_server.h"
#include "model/tree_merge.h"

// Syncs cut short: the process killed at any point, the server stopped
// as on a power cut. The next sync completes the work, without duplicates.
namespace plm::test {
namespace {

// plmtool sync of `site` as a process of its own, output discarded.
pid_t startSync(const Installation& site) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(site.dir().path().c_str()) != 0)
            _exit(127);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(PLMTOOL_PATH, PLMTOOL_PATH, "--home", "home", "--archive", site.conninfo().c_str(),
              "sync", static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

int64_t countOf(const std::string& conninfo, const std::string& sql) {
    return archive::PgConnection(conninfo).exec(sql).number(0, 0);
}

void fillSite(const Installation& site, int first, int count) {
    site.edit([&](model::CustomerTree& tree) {
        for (int i = 0; i < count; ++i) {
            findOrAddMeasurementName(tree, "C", "K" + std::to_string(i % 3), "N")
                .records.add(uniqueRecord(first + i));
        }
    });
}

TEST(ArchiveCut, ASyncKilledAtAnyPointIsCompletedByTheNextWithoutDuplicates) {
    const std::string conninfo = sharedServer().createDatabase();
    Installation a(conninfo), b(conninfo);
    ASSERT_EQ(a.tool({"archive", "init"}).status, 0);
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    constexpr int kPerRound = 400;
    const auto killedAtRandom = [&random](const Installation& site) {
        const pid_t pid = startSync(site);
        std::this_thread::sleep_for(std::chrono::milliseconds(10 + random() % 400));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    };
    for (int round = 0; round < 3; ++round) {
        fillSite(a, round * kPerRound, kPerRound);
        killedAtRandom(a);  // cut while pushing
        killedAtRandom(b);  // cut while pulling what got through
        ASSERT_EQ(b.sync().status, 0);
        killedAtRandom(b);
    }
    ASSERT_EQ(a.sync().status, 0);
    ASSERT_EQ(b.sync().status, 0);
    EXPECT_EQ(countOf(conninfo, "SELECT count(*) FROM plm_measurement"), 3 * kPerRound);
    EXPECT_EQ(countOf(conninfo, "SELECT count(*) FROM plm_version"), 3 * kPerRound);
    EXPECT_TRUE(model::sameTree(a.tree(), b.tree()));
    int records = 0;
    for (const model::Customer& c : b.tree().customers)
        for (const model::TestCircuit& t : c.circuits)
            for (const model::MeasurementName& n : t.names)
                records += n.records.count();
    EXPECT_EQ(records, 3 * kPerRound);
}

TEST(ArchiveCut, AServerStoppedDuringASyncLosesNothingAndDuplicatesNothing) {
    PgServer& server = sharedServer();
    const std::string conninfo = server.createDatabase();
    Installation a(conninfo), b(conninfo);
    ASSERT_EQ(a.tool({"archive", "init"}).status, 0);
    fillSite(a, 5000, 600);
    const pid_t pid = startSync(a);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    server.stopImmediately();
    int status = 0;
    waitpid(pid, &status, 0);
    const model::CustomerTree before = a.tree();
    // Unreachable: nothing local changes, and the status says so.
    const cli::ToolRun offline = a.sync();
    EXPECT_EQ(offline.status, 1);
    EXPECT_NE(offline.err.find("アーカイブに接続できません"), std::string::npos) << offline.err;
    const cli::ToolRun status1 = a.tool({"archive", "status"});
    EXPECT_NE(status1.out.find("server: not reached"), std::string::npos) << status1.out;
    EXPECT_TRUE(model::sameTree(a.tree(), before));
    server.start();
    ASSERT_EQ(a.sync().status, 0);
    ASSERT_EQ(b.sync().status, 0);
    EXPECT_EQ(countOf(conninfo, "SELECT count(*) FROM plm_measurement"), 600);
    EXPECT_EQ(countOf(conninfo, "SELECT count(DISTINCT measurement_id) FROM plm_version"), 600);
    EXPECT_TRUE(model::sameTree(a.tree(), b.tree()));
    const cli::ToolRun status2 = a.tool({"archive", "status", "--json"});
    EXPECT_NE(status2.out.find("\"notPushed\":0"), std::string::npos) << status2.out;
}

}  // namespace
}  // namespace plm::test

namespace plm::test {
namespace {

// The data file is not locked while the sync talks to the server: a
// measurement filed meanwhile stays, and the next sync pushes it.
TEST(ArchiveCut, AMeasurementFiledDuringASyncIsKeptAndPushedNext) {
    const std::string conninfo = sharedServer().createDatabase();
    Installation a(conninfo), b(conninfo);
    ASSERT_EQ(a.tool({"archive", "init"}).status, 0);
    fillSite(a, 9000, 600);
    ASSERT_EQ(a.sync().status, 0);
    const pid_t pid = startSync(b);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    b.edit([](model::CustomerTree& tree) {
        findOrAddMeasurementName(tree, "D", "K", "N").records.add(uniqueRecord(1));
    });
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(b.sync().status, 0);
    ASSERT_EQ(a.sync().status, 0);
    EXPECT_EQ(countOf(conninfo, "SELECT count(*) FROM plm_measurement"), 601);
    EXPECT_TRUE(model::sameTree(a.tree(), b.tree()));
    EXPECT_NE(model::findMeasurementName(a.tree(), "D", "K", "N"), nullptr);
}

}  // namespace
}  // namespace plm::test
