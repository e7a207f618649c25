#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "support/file_lock.h"

// A tester on a pseudo-terminal: the line under test opens the slave device,
// the fake writes transfers to the master side from its own thread, paced at
// a baud rate (10 bits per byte) or as fast as the pty takes them.
namespace plm::test {

class FakeTester {
  public:
    FakeTester();
    ~FakeTester();
    FakeTester(const FakeTester&) = delete;
    FakeTester& operator=(const FakeTester&) = delete;

    // The slave device the line opens (/dev/pts/N).
    const std::string& device() const { return device_; }
    // The slave side as the fake keeps it open (to read its termios).
    int slaveFd() const { return slave_.get(); }

    // True once a line holds the slave open exclusively (within `limit`).
    bool waitForOpen(std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) const;

    // Starts writing `bytes` on the fake's thread; baud 0 writes unpaced. With
    // hangUp the master is closed after the last byte (the tester unplugged).
    void send(std::vector<uint8_t> bytes, int baud = 0, bool hangUp = false);
    // Waits until the bytes of the last send are written.
    void finish();
    // Closes the master now.
    void hangUp();

  private:
    void writeAll(const std::vector<uint8_t>& bytes, int baud);

    support::UniqueFd master_;
    support::UniqueFd slave_;
    std::string device_;
    std::thread writer_;
    std::atomic<bool> abort_{false};
};

}  // namespace plm::test
