#pragma once

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/file_lock.h"

// A raw pseudo-terminal: the benchmark plays the tester on the master while
// the serial line reads the slave, with a transfer of its own making.
namespace plm::bench {

struct Pty {
    support::UniqueFd master;
    support::UniqueFd slave;
    std::string device;

    Pty() {
        int m = -1, s = -1;
        char name[256] = {};
        if (openpty(&m, &s, name, nullptr, nullptr) != 0)
            std::perror("openpty");
        master.reset(m);
        slave.reset(s);
        device = name;
        termios tio{};
        tcgetattr(s, &tio);
        cfmakeraw(&tio);
        tcsetattr(s, TCSANOW, &tio);
    }
};

// The tester's stream of `measurements` measurements of 5 s at 100 us
// (50001 samples each), dated 2015/01/06 05:56:52.
inline std::vector<uint8_t> transferStream(int measurements) {
    std::vector<uint8_t> out;
    const size_t samples = 50001;
    for (int m = 0; m < measurements; ++m) {
        const size_t total = 36 + samples;
        out.push_back(static_cast<uint8_t>(total >> 8));
        out.push_back(static_cast<uint8_t>(total & 0xFF));
        std::vector<uint8_t> header(30, 0);
        header[1] = static_cast<uint8_t>(m + 1);
        header[6] = 4;  // 5 s
        header[7] = 0;  // 100 us
        const uint8_t date[] = {0x15, 0x01, 0x06, 0x05, 0x56, 0x52};
        std::copy(std::begin(date), std::end(date), header.begin() + 24);
        out.insert(out.end(), header.begin(), header.end());
        for (size_t i = 0; i < samples; ++i)
            out.push_back(static_cast<uint8_t>((i / 97) & 0xFF));
        out.insert(out.end(), 4, m + 1 == measurements ? 0x00 : 0xFF);
    }
    return out;
}

// Writes the stream to fd at `baud` (10 bits a byte), or as fast as the pty
// takes it for 0.
inline void writePaced(int fd, const std::vector<uint8_t>& bytes, int baud = 0) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    size_t sent = 0;
    while (sent < bytes.size()) {
        size_t allowed = bytes.size();
        if (baud > 0) {
            const auto us =
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
            allowed = std::max<size_t>(sent + 1, static_cast<size_t>(us) * baud / 10 / 1000000);
        }
        const size_t chunk = std::min(allowed, bytes.size()) - sent;
        const ssize_t n = ::write(fd, bytes.data() + sent, chunk);
        if (n > 0)
            sent += static_cast<size_t>(n);
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            return;
        if (baud > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace plm::bench
