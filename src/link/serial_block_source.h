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

    SerialBlockSource(SerialLine& line, bool debugMode);
    ~SerialBlockSource() override;
    SerialBlockSource(const SerialBlockSource&) = delete;
    SerialBlockSource& operator=(const SerialBlockSource&) = delete;

    // Sees every block received, and the bytes of a block cut short by a
    // failure, on the reading thread (plmtool receive --capture).
    void setBlockObserver(BlockObserver observer) { observer_ = std::move(observer); }

    SourceDescription description() const override;
    int64_t next(int64_t expected, std::span<uint8_t> buffer) override;

  private:
    SerialLine& line_;
    bool debug_;
    BlockObserver observer_;
};

}  // namespace plm::link
