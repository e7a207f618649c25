#pragma once

#include <functional>

#include "link/block_source.h"
#include "link/serial_line.h"

namespace plm::link {

// Blocks read from the serial line, exactly as many bytes as the decoder
// expects. In debug mode nothing is read: every request succeeds at once with
// the expected length and the receive buffer keeps what it held.
class SerialBlockSource : public BlockSource {
  public:
    using BlockObserver = std::function<void(std::span<const uint8_t>)>;

    SerialBlockSource(SerialLine& line, bool debugMode) : line_(line), debug_(debugMode) {}

    // Sees every block received, and the bytes of a block cut short by a
    // failure, on the reading thread (plmtool receive --capture).
    void setBlockObserver(BlockObserver observer) { observer_ = std::move(observer); }

    bool isFile() const override { return false; }
    bool simulated() const override { return debug_; }
    int64_t next(int64_t expected, std::span<uint8_t> buffer) override;

  private:
    SerialLine& line_;
    bool debug_;
    BlockObserver observer_;
};

}  // namespace plm::link
