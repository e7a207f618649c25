#pragma once

#include <pty.h>
#include <termios.h>

#include <cstdio>
#include <string>

#include "support/file_lock.h"

// A raw pseudo-terminal: the benchmark plays the tester on the master while
// the serial line reads the slave.
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

}  // namespace plm::bench
