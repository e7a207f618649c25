#include "link/serial_line.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <sstream>
#include <thread>

#include "common/fake_tester.h"
#include "common/temp_dir.h"
#include "link/line_termios.h"
#include "link/port_scan.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::link {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::FakeTester;

std::vector<std::string> logLines(const support::LogWriter& log) {
    std::vector<std::string> out;
    std::istringstream in(test::readFile(log.periodFile(std::time(nullptr))));
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

model::LineSettings settings(int baud, int byteSize, int parity, int stopBits, int flow) {
    model::LineSettings s;
    s.baud = baud;
    s.byteSize = byteSize;
    s.parity = parity;
    s.stopBits = stopBits;
    s.flow = flow;
    return s;
}

class SerialLineTest : public ::testing::Test {
  protected:
    void openLine(const model::LineSettings& s = {}) {
        line.Configure(s);
        line.setDevice(tester.device());
        ASSERT_TRUE(line.Open()) << SerialLine::errorText(line.lastError());
    }
    termios slaveSettings() const {
        termios tio{};
        tcgetattr(tester.slaveFd(), &tio);
        return tio;
    }

    test::TempDir dir;
    FakeTester tester;
    SerialLine line;
};

TEST(LineTermios, SettingsCodesToTermios) {
    struct Case {
        model::LineSettings s;
        tcflag_t size, cflagSet, cflagClear, iflagSet, iflagClear;
        bool arbitrary;
    };
    const Case cases[] = {
        {settings(9600, 7, 2, 2, 2), CS7, PARENB | CSTOPB, PARODD | CMSPAR, INPCK | IXON | IXOFF, 0,
         false},
        {settings(38400, 8, 0, 0, 0), CS8, 0, PARENB | CSTOPB | CRTSCTS, 0, IXON | IXOFF | INPCK,
         false},
        {settings(38400, 8, 1, 1, 1), CS8, PARENB | PARODD | CSTOPB, CMSPAR, INPCK, IXON | IXOFF,
         false},
        {settings(38400, 8, 3, 0, 0), CS8, PARENB | PARODD | CMSPAR, CSTOPB, INPCK, 0, false},
        {settings(31250, 5, 4, 0, 0), CS5, PARENB | CMSPAR, PARODD, INPCK, 0, true},
    };
    for (const Case& c : cases) {
        termios tio{};
        tio.c_cflag = CS8 | CRTSCTS | PARODD;
        tio.c_iflag = ICRNL | IXON;
        tio.c_lflag = ICANON | ECHO;
        bool arbitrary = !c.arbitrary;
        ASSERT_TRUE(applyLineSettings(tio, c.s, arbitrary)) << c.s.baud;
        EXPECT_EQ(tio.c_cflag & CSIZE, c.size) << c.s.baud;
        EXPECT_EQ(tio.c_cflag & c.cflagSet, c.cflagSet) << c.s.baud;
        EXPECT_EQ(tio.c_cflag & c.cflagClear, 0u) << c.s.baud;
        EXPECT_EQ(tio.c_iflag & c.iflagSet, c.iflagSet) << c.s.baud;
        EXPECT_EQ(tio.c_iflag & c.iflagClear, 0u) << c.s.baud;
        EXPECT_EQ(tio.c_iflag & ICRNL, 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
        EXPECT_EQ(arbitrary, c.arbitrary) << c.s.baud;
    }
    termios tio{};
    bool arbitrary = false;
    EXPECT_TRUE(applyLineSettings(tio, settings(38400, 8, 0, 0, 1), arbitrary));
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B38400));
    for (const auto& bad : {settings(38400, 4, 0, 0, 1), settings(38400, 9, 0, 0, 1),
                            settings(38400, 8, 5, 0, 1), settings(0, 8, 0, 0, 1)}) {
        EXPECT_FALSE(applyLineSettings(tio, bad, arbitrary));
    }
}

TEST_F(SerialLineTest, OpenSetsTheLineUpAndLogsIt) {
    line.setLog(dir.file("COMM_"));
    openLine(settings(9600, 7, 2, 2, 2));
    const termios tio = slaveSettings();
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_FALSE(tio.c_lflag & ICANON);
    EXPECT_EQ(line.readTimeout(), 5000u);

    // The first line is the Close that every Open starts with.
    const auto log = logLines(line);
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0].substr(34), "SetTimeout[1]");
    EXPECT_EQ(log[1].substr(34), "port open " + tester.device());
    EXPECT_EQ(log[2].substr(34),
              "BaudRate[9600 ], Parity[1], OutX[1], InX[1], ByteSize[7], Parity[2], StopBits[2]");
    EXPECT_EQ(log[3].substr(34),
              support::sj("受信バッファ=0, 送信バッファ=0 (単位=byte,0=デバイス依存)"));
    EXPECT_EQ(log[4].substr(34), "SetTimeout[5000]");

    line.Configure(settings(31250, 8, 0, 0, 0));  // a rate outside the termios table
    EXPECT_TRUE(line.Open()) << SerialLine::errorText(line.lastError());
}

TEST_F(SerialLineTest, FlowHardwareKeepsThePortsHandshake) {
    for (bool rtsCts : {true, false}) {
        termios tio = slaveSettings();
        tio.c_cflag = rtsCts ? (tio.c_cflag | CRTSCTS) : (tio.c_cflag & ~CRTSCTS);
        tcsetattr(tester.slaveFd(), TCSANOW, &tio);
        openLine(settings(38400, 8, 0, 0, 1));
        EXPECT_EQ((slaveSettings().c_cflag & CRTSCTS) != 0, rtsCts);
        line.Close();
    }
}

TEST_F(SerialLineTest, OpenFailuresKeepTheErrno) {
    model::LineSettings bad = settings(38400, 4, 0, 0, 1);
    line.Configure(bad);
    line.setDevice(tester.device());
    EXPECT_FALSE(line.Open());
    EXPECT_EQ(line.lastError(), static_cast<uint32_t>(EINVAL));
    EXPECT_FALSE(line.isOpen());

    line.setDevice(dir.file("no-such-tty"));
    line.Configure({});
    EXPECT_FALSE(line.Open());
    EXPECT_EQ(line.lastError(), 2u);
    const std::string text = SerialLine::errorText(2);
    EXPECT_TRUE(text.ends_with(support::sj("ｴﾗｰNo:hex(2),dec(2)"))) << text;
    EXPECT_EQ(SerialLine::errorText(EBUSY),
              support::sj("Device or resource busyｴﾗｰNo:hex(10),dec(16)"));
}

TEST_F(SerialLineTest, SecondOpenerIsRefusedUntilTheFirstCloses) {
    openLine();
    SerialLine other;
    other.setDevice(tester.device());
    EXPECT_FALSE(other.Open());
    EXPECT_EQ(other.lastError(), static_cast<uint32_t>(EBUSY));
    EXPECT_TRUE(line.Close());
    EXPECT_TRUE(other.Open());
}

TEST_F(SerialLineTest, ReadBlockTakesExactCounts) {
    openLine();
    tester.send({1, 2, 3, 4, 5, 6, 7}, 38400);
    uint8_t buffer[8] = {};
    uint32_t received = 99;
    EXPECT_EQ(line.ReadBlock(buffer, 0, received), 0);
    EXPECT_EQ(received, 0u);
    EXPECT_EQ(line.ReadBlock(buffer, 2, received), 0);
    EXPECT_EQ(received, 2u);
    EXPECT_EQ(line.ReadBlock(buffer + 2, 5, received), 0);
    EXPECT_EQ(received, 5u);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 8),
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 0}));
}

TEST_F(SerialLineTest, TimeoutRunsFromTheLastByteAndKeepsWhatCame) {
    openLine();
    line.SetReadTimeout(150);
    tester.send({0xAA, 0xBB, 0xCC});
    uint8_t buffer[5] = {};
    uint32_t received = 0;
    const auto start = Clock::now();
    EXPECT_EQ(line.ReadBlock(buffer, 5, received), -2);
    const auto waited = Clock::now() - start;
    EXPECT_EQ(received, 3u);
    EXPECT_EQ(buffer[2], 0xCC);
    EXPECT_GE(waited, 150ms);
    EXPECT_LT(waited, 1000ms);
}

TEST_F(SerialLineTest, ShorteningTheTimeoutFromAnotherThreadEndsAWaitingRead) {
    openLine();
    line.SetReadTimeout(SerialLine::kNoTimeout);
    auto read = std::async(std::launch::async, [&] {
        uint8_t buffer[4];
        uint32_t received = 0;
        return line.ReadBlock(buffer, 4, received);
    });
    EXPECT_EQ(read.wait_for(1200ms), std::future_status::timeout);  // more than one poll slice
    const auto start = Clock::now();
    line.SetLineTimeouts(1, 1, 1, 1, 1);
    line.SetReadTimeout(1);
    ASSERT_EQ(read.wait_for(2000ms), std::future_status::ready);
    EXPECT_LT(Clock::now() - start, 100ms);
    EXPECT_EQ(read.get(), -2);
}

TEST_F(SerialLineTest, HangUpIsAReadErrorNotAWait) {
    openLine();
    line.SetReadTimeout(SerialLine::kNoTimeout);
    uint8_t buffer[4] = {};
    uint32_t received = 0;
    auto read = std::async(std::launch::async, [&] { return line.ReadBlock(buffer, 4, received); });
    tester.send({0x10, 0x20});
    tester.finish();
    std::this_thread::sleep_for(200ms);  // the line has taken both bytes
    tester.hangUp();
    ASSERT_EQ(read.wait_for(2000ms), std::future_status::ready);
    EXPECT_EQ(read.get(), -1);
    EXPECT_EQ(received, 2u);
    EXPECT_EQ(line.lastError(), static_cast<uint32_t>(EIO));
}

TEST_F(SerialLineTest, DumpShowsHexAndCharactersUnderEachOther) {
    line.setLog(dir.file("COMM_"));
    const uint8_t bytes[] = {0x02, 0x41, 0x0D, 0xB1, 0x00};
    line.DumpTraffic(bytes, 0);
    EXPECT_FALSE(std::filesystem::exists(line.periodFile(std::time(nullptr))));
    line.DumpTraffic(bytes, sizeof bytes);
    const auto log = logLines(line);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].substr(34), "**>02 41 0D B1 00 ");
    EXPECT_EQ(log[1], std::string(36, ' ') + "@SX A @CR \xB1    ");
    // Each character stands under the first digit of its byte.
    EXPECT_EQ(log[0].substr(40, 2), "41");
    EXPECT_EQ(log[1][40], 'A');
}

TEST_F(SerialLineTest, CloseShortensTheTimeoutsAndIsLogged) {
    line.setLog(dir.file("COMM_"));
    openLine();
    EXPECT_TRUE(line.Close());
    EXPECT_FALSE(line.isOpen());
    EXPECT_EQ(line.readTimeout(), 1u);
    EXPECT_EQ(logLines(line).back().substr(34), "SetTimeout[1]");
    uint8_t b = 0;
    uint32_t received = 0;
    EXPECT_EQ(line.ReadBlock(&b, 1, received), -1);
}

TEST(PortDevice, DefaultMappingAndIniOverride) {
    test::TempDir home;
    support::setProgramFolder(home.path().string());
    const std::pair<int, std::string> cases[] = {
        {1, "/dev/ttyS0"},
        {8, "/dev/ttyS7"},
        {9, "/dev/ttyUSB0"},
        {16, "/dev/ttyUSB7"},
        {17, "/dev/ttyACM0"},
        {20, "/dev/ttyACM3"},
        {0, ""},
        {21, ""},
    };
    for (const auto& [port, device] : cases)
        EXPECT_EQ(portDevice(port), device) << port;
    EXPECT_EQ(portLabel(9), "COM9 (/dev/ttyUSB0)");

    FakeTester tester;
    test::writeFile(home.file("PLMView.INI"), "[Ports]\r\nCOM3=" + tester.device() + "\r\n");
    EXPECT_EQ(portDevice(3), tester.device());
    const auto found = PortScan();
    EXPECT_NE(std::find(found.begin(), found.end(), 3), found.end());
    EXPECT_TRUE(std::is_sorted(found.begin(), found.end()));

    // A port another program holds is left out.
    SerialLine holder;
    holder.setDevice(tester.device());
    ASSERT_TRUE(holder.Open());
    const auto busy = PortScan();
    EXPECT_EQ(std::find(busy.begin(), busy.end(), 3), busy.end());
}

}  // namespace
}  // namespace plm::link
