#include "common/fake_tester.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace plm::test {

FakeTester::FakeTester() {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    master_.reset(master);
    slave_.reset(slave);
    device_ = name;
    // Never blocks, so a line that stopped reading cannot hold the fake up.
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    // A program the test starts must not inherit the master: the line would
    // never see the tester hang up while the child holds it open.
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    // Raw from the start, so bytes written before the line sets its own
    // settings arrive unchanged and nothing is echoed back.
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
}

FakeTester::~FakeTester() {
    abort_ = true;
    if (writer_.joinable())
        writer_.join();
}

bool FakeTester::waitForOpen(std::chrono::milliseconds limit) const {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        int exclusive = 0;
        if (ioctl(slave_.get(), TIOCGEXCL, &exclusive) == 0 && exclusive)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

void FakeTester::send(std::vector<uint8_t> bytes, int baud, bool hangUp) {
    finish();
    writer_ = std::thread([this, bytes = std::move(bytes), baud, hangUp] {
        writeAll(bytes, baud);
        if (hangUp)
            this->hangUp();
    });
}

void FakeTester::finish() {
    if (writer_.joinable())
        writer_.join();
}

void FakeTester::hangUp() {
    master_.reset();
}

void FakeTester::writeAll(const std::vector<uint8_t>& bytes, int baud) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    size_t sent = 0;
    while (sent < bytes.size() && !abort_) {
        size_t allowed = bytes.size();
        if (baud > 0) {
            // Bytes the line could have carried since the start, at least one.
            const auto us =
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
            allowed = std::max<size_t>(sent + 1, static_cast<size_t>(us) * baud / 10 / 1000000);
        }
        const size_t chunk = std::min(allowed, bytes.size()) - sent;
        const ssize_t n = ::write(master_.get(), bytes.data() + sent, chunk);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd writable{master_.get(), POLLOUT, 0};
            ::poll(&writable, 1, 20);
            continue;
        } else if (n < 0 && errno != EINTR) {
            return;
        }
        if (baud > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace plm::test
