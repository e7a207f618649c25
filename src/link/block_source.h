#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace plm::link {

// Where the transfer decoder takes its blocks from: the serial line, a
// captured file, or a test. The decoder never knows which.
class BlockSource {
  public:
    virtual ~BlockSource() = default;

    // True for a captured file: the decoder then takes one line per pass
    // whatever length it expects.
    virtual bool isFile() const = 0;

    // True for a source that reads nothing and hands every requested length
    // straight back (communication debug mode). Such a source may be asked for
    // a negative length; a source that reads a real line never is.
    virtual bool simulated() const { return false; }

    // Writes the next block to the start of `buffer` and returns its length.
    // A line source reads exactly `expected` bytes and returns `expected`;
    // the file source ignores `expected`. `expected` never exceeds
    // buffer.size(). Failures (read error, timeout, end of file) throw
    // CxException with the text the transfer ends with.
    virtual int64_t next(int64_t expected, std::span<uint8_t> buffer) = 0;
};

// The failure text of a serial read that returned `code` (-1 read error, -2 timeout).
std::string commErrorText(int code);

}  // namespace plm::link
