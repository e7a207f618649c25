#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace plm::link {

// What the decoder must know about where its blocks come from, told by the
// source itself, so the decoder never asks which source it reads.
struct SourceDescription {
    // Reported once when decoding begins (CP932).
    std::string startText;
    // Every block carries its own length (one captured line): the decoder
    // takes it at the top of each pass, before it reports anything, and only
    // then compares its length with what it expects.
    bool blocksCarryLength = false;
    // The source waits until every requested byte has arrived, so a count
    // too small for its samples must be refused before any byte is asked for.
    bool waitsForRequestedBytes = true;
};

// Where the transfer decoder takes its blocks from: the serial line, a
// captured file, or a test. The decoder never knows which.
class BlockSource {
  public:
    // Sees the bytes of the block being read as they arrive (the count so
    // far), on the reading thread. Sources that take a block at once never call it.
    using ArrivalObserver = std::function<void(int64_t bytesSoFar)>;

    virtual ~BlockSource() = default;

    virtual SourceDescription description() const = 0;

    // Writes the next block to the start of `buffer` and returns its length.
    // A line source reads exactly `expected` bytes and returns `expected`;
    // the file source ignores `expected`. A source that reads nothing (debug
    // mode) hands every requested length straight back, even a negative one.
    // `expected` never exceeds buffer.size(). Failures (read error, timeout,
    // end of file) throw CxException with the text the transfer ends with.
    virtual int64_t next(int64_t expected, std::span<uint8_t> buffer) = 0;

    void setArrivalObserver(ArrivalObserver observer) { arrival_ = std::move(observer); }

  protected:
    void arrived(int64_t bytesSoFar) const {
        if (arrival_)
            arrival_(bytesSoFar);
    }

  private:
    ArrivalObserver arrival_;
};

// The failure text of a serial read that returned `code` (-1 read error, -2 timeout).
std::string commErrorText(int code);

}  // namespace plm::link
