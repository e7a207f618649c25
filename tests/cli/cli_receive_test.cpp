#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/fake_tester.h"
#include "common/temp_dir.h"
#include "common/transfer_builder.h"
#include "link/serial_line.h"
#include "support/file_lock.h"

extern char** environ;

namespace plm::cli {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// plmtool running in the background with its standard output and error read
// through pipes, so a test can wait for a progress line and then signal it.
class Plmtool {
  public:
    explicit Plmtool(const std::vector<std::string>& args) {
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0)
            throw std::runtime_error("pipe");
        out_.reset(out[0]);
        err_.reset(err[0]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        std::vector<std::string> all{PLMTOOL_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, PLMTOOL_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        if (rc != 0)
            throw std::runtime_error("posix_spawn");
    }
    ~Plmtool() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // Reads standard output until it holds `text` (UTF-8) or the limit passes.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds limit) {
        const auto until = Clock::now() + limit;
        while (out.find(text) == std::string::npos && Clock::now() < until) {
            if (!drain(50))
                break;
        }
        return out.find(text) != std::string::npos;
    }

    // Reads both pipes to their end and returns the exit status (-1 on a hang).
    int finish(std::chrono::milliseconds limit) {
        const auto until = Clock::now() + limit;
        int status = 0;
        while (Clock::now() < until) {
            drain(20);
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                while (drain(0)) {
                }
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
        }
        return -1;
    }

    pid_t pid() const { return pid_; }
    std::string out;
    std::string err;

  private:
    // One round of reading; false once both pipes are at their end.
    bool drain(int timeoutMs) {
        support::UniqueFd* pipes[2] = {&out_, &err_};
        std::string* sinks[2] = {&out, &err};
        pollfd fds[2];
        int count = 0;
        int which[2];
        for (int i = 0; i < 2; ++i) {
            if (!*pipes[i])
                continue;
            fds[count] = {pipes[i]->get(), POLLIN, 0};
            which[count++] = i;
        }
        if (count == 0)
            return false;
        if (poll(fds, count, timeoutMs) <= 0)
            return true;
        for (int k = 0; k < count; ++k) {
            if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[k].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[which[k]]->append(buffer, static_cast<size_t>(n));
            } else {
                pipes[which[k]]->reset();  // end of output
            }
        }
        return out_ || err_;
    }

    pid_t pid_ = -1;
    bool exited_ = false;
    support::UniqueFd out_;
    support::UniqueFd err_;
};

std::vector<std::string> recordLines(const std::string& output) {
    std::vector<std::string> out;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("データ№=", 0) == 0)
            out.push_back(line);
    }
    return out;
}

std::vector<model::MeasurementRecord> records() {
    auto a = test::makeRecord(7, 0, 1);
    test::setChannel(a, 1, 0, {3, 30});
    auto b = test::makeRecord(8, 1, 1);
    b.vcValue = 220;
    b.vcEndValue = 215;
    return {a, b};
}

TEST(CliReceive, TransferArrivesExactlyAsItsCaptureDecodes) {
    test::TempDir home;
    const auto blocks = test::transferBlocks(records());
    test::writeFile(home.file("fixture.txt"), test::capturedText(blocks));
    Plmtool decode({"--home", home.path().string(), "decode", home.file("fixture.txt")});
    ASSERT_EQ(decode.finish(20s), 0) << decode.err;
    const auto expected = recordLines(decode.out);
    ASSERT_EQ(expected.size(), 2u) << decode.out;

    test::FakeTester tester;
    Plmtool receive({"--home", home.path().string(), "receive", "--device", tester.device(),
                     "--capture", home.file("got.txt")});
    ASSERT_TRUE(tester.waitForOpen(10s));
    tester.send(test::streamBytes(blocks), 115200);
    ASSERT_EQ(receive.finish(20s), 0) << receive.err;
    EXPECT_NE(receive.out.find("機器からのデータ送信待ち"), std::string::npos);
    EXPECT_EQ(recordLines(receive.out), expected);

    // The capture holds the same blocks and decodes to the same records.
    const std::string captured = test::readFile(home.file("got.txt"));
    EXPECT_EQ(captured.front(), ';');
    EXPECT_NE(captured.find("baud=38400"), std::string::npos);
    EXPECT_NE(captured.find(test::capturedText(blocks)), std::string::npos);
    Plmtool again({"--home", home.path().string(), "decode", home.file("got.txt")});
    ASSERT_EQ(again.finish(20s), 0) << again.err;
    EXPECT_EQ(recordLines(again.out), expected);
}

TEST(CliReceive, InterruptStopsAWaitingReceiveAndFreesThePort) {
    test::TempDir home;
    test::FakeTester tester;
    Plmtool receive({"--home", home.path().string(), "receive", "--device", tester.device(),
                     "--capture", home.file("none.txt")});
    ASSERT_TRUE(receive.waitForOutput("機器からのデータ送信待ち", 10s)) << receive.err;
    std::this_thread::sleep_for(300ms);
    const auto start = Clock::now();
    kill(receive.pid(), SIGINT);
    EXPECT_EQ(receive.finish(5s), 1);
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_EQ(receive.err.find("通信異常"), std::string::npos) << receive.err;
    EXPECT_NE(receive.out.find("シリアルポートクローズ"), std::string::npos);
    EXPECT_TRUE(recordLines(receive.out).empty());
    EXPECT_FALSE(std::filesystem::exists(home.file("none.txt")));  // nothing was received
    link::SerialLine probe;
    probe.setDevice(tester.device());
    EXPECT_TRUE(probe.Open());
}

// Ctrl-C while a measurement's samples arrive: the read it cuts short is no
// line failure, the journal says so, and the whole measurement before it is listed.
TEST(CliReceive, InterruptInTheMiddleOfATransferIsJournaledAsStopped) {
    std::vector<model::MeasurementRecord> two;
    for (int i = 0; i < 2; ++i) {
        two.push_back(test::makeRecord(31 + i, 3, 1));  // 1001 samples
        test::setChannel(two.back(), i, 0, {10, 900});
    }
    const auto blocks = test::transferBlocks(two);
    test::Bytes sent = test::streamBytes({blocks[0]});
    const test::Bytes second = test::streamBytes({blocks[1]});
    sent.insert(sent.end(), second.begin(), second.begin() + 300);
    test::TempDir home;
    test::FakeTester tester;
    Plmtool receive({"--home", home.path().string(), "receive", "--device", tester.device()});
    ASSERT_TRUE(tester.waitForOpen(10s));
    tester.send(sent, 115200);
    ASSERT_TRUE(receive.waitForOutput("終了コード", 10s)) << receive.err;
    std::this_thread::sleep_for(500ms);  // the second measurement's samples are being read
    kill(receive.pid(), SIGINT);
    EXPECT_EQ(receive.finish(5s), 1);
    EXPECT_EQ(receive.err.find("通信異常"), std::string::npos) << receive.err;
    EXPECT_EQ(recordLines(receive.out).size(), 1u) << receive.out;
    EXPECT_NE(receive.err.find("完全に受信した測定データ 1 件を出力します"), std::string::npos);

    std::vector<std::filesystem::path> journals;
    for (const auto& e : std::filesystem::directory_iterator(home.file("JOURNAL")))
        journals.push_back(e.path());
    ASSERT_EQ(journals.size(), 1u);
    const std::string journal = test::readFile(journals[0].string());
    EXPECT_EQ(journal.substr(journal.size() - 16), "; end: stopped\r\n") << journal;
}

TEST(CliReceive, BadDataAndBadUsage) {
    test::TempDir home;
    test::FakeTester tester;
    auto blocks = test::transferBlocks(records());
    blocks.back().endCode = {0xDE, 0xAD, 0xBE, 0xEF};
    tester.send(test::streamBytes(blocks));
    Plmtool bad({"--home", home.path().string(), "receive", "--device", tester.device()});
    EXPECT_EQ(bad.finish(20s), 1);
    EXPECT_NE(bad.err.find("終了コードに 00000000 又は FFFFFFFF 以外が転送されました"),
              std::string::npos)
        << bad.err;
    // The second measurement's end code is bad: only the first arrived whole.
    const auto lines = recordLines(bad.out);
    ASSERT_EQ(lines.size(), 1u) << bad.out;
    EXPECT_NE(lines[0].find("データ№=7"), std::string::npos) << lines[0];

    const std::vector<std::vector<std::string>> usages = {
        {"receive", "--port", "1", "--device", tester.device()},
        {"receive", "--port", "COM1"},
        {"receive", "extra"},
    };
    for (const auto& usage : usages) {
        std::vector<std::string> args{"--home", home.path().string()};
        args.insert(args.end(), usage.begin(), usage.end());
        Plmtool run(args);
        EXPECT_EQ(run.finish(20s), 2) << usage[1];
    }
}

TEST(CliReceive, LineCutAfterTwoOfFourPrintsAndCapturesTheWholeOnesWithProgress) {
    std::vector<model::MeasurementRecord> four;
    for (int i = 0; i < 4; ++i) {
        auto r = test::makeRecord(21 + i, 3, 1);  // 1001 samples
        test::setChannel(r, i, 0, {10 * (i + 1), 900});
        four.push_back(r);
    }
    const auto blocks = test::transferBlocks(four);
    test::TempDir home;
    test::writeFile(home.file("all.txt"), test::capturedText(blocks));
    Plmtool decode({"--home", home.path().string(), "decode", home.file("all.txt")});
    ASSERT_EQ(decode.finish(20s), 0) << decode.err;
    const auto all = recordLines(decode.out);
    ASSERT_EQ(all.size(), 4u);

    // Two whole measurements and a part of the third, then the tester goes away.
    test::Bytes sent = test::streamBytes({blocks[0], blocks[1]});
    const test::Bytes third = test::streamBytes({blocks[2]});
    sent.insert(sent.end(), third.begin(), third.begin() + 300);
    test::FakeTester tester;
    Plmtool receive({"--home", home.path().string(), "receive", "--device", tester.device(),
                     "--capture", home.file("cut.txt")});
    ASSERT_TRUE(tester.waitForOpen(10s));
    std::this_thread::sleep_for(300ms);
    tester.send(sent, 38400);
    tester.finish();
    std::this_thread::sleep_for(300ms);
    tester.hangUp();
    ASSERT_EQ(receive.finish(20s), 1) << receive.err;
    EXPECT_EQ(recordLines(receive.out), std::vector<std::string>(all.begin(), all.begin() + 2));
    EXPECT_NE(receive.err.find("通信異常 [-1]"), std::string::npos) << receive.err;
    EXPECT_NE(receive.err.find("完全に受信した測定データ 2 件を出力します"), std::string::npos);
    // Progress on stderr, one plain line each time into a pipe, the last at the third measurement.
    EXPECT_NE(receive.err.find("測定データ 1 件目: "), std::string::npos) << receive.err;
    EXPECT_NE(receive.err.find("測定データ 3 件目: 300 / 1037 バイト (28%)  受信完了 2 件"),
              std::string::npos)
        << receive.err;

    // The capture and the journal hold what came; reading either back offers the same two.
    const auto journals = [&] {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(home.file("JOURNAL")))
            out.push_back(e.path().string());
        return out;
    }();
    ASSERT_EQ(journals.size(), 1u);
    EXPECT_NE(receive.err.find("受信記録ファイル:" + journals[0]), std::string::npos);
    for (const std::string& file : {home.file("cut.txt"), journals[0]}) {
        Plmtool again({"--home", home.path().string(), "decode", file});
        EXPECT_EQ(again.finish(20s), 1) << file;
        EXPECT_EQ(recordLines(again.out), std::vector<std::string>(all.begin(), all.begin() + 2))
            << file;
    }
}

}  // namespace
}  // namespace plm::cli
