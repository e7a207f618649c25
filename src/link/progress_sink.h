#pragma once

#include <cstdint>
#include <string>

namespace plm::link {

// How far the measurement being received has come. The count block announces
// a measurement's length (count, header, samples, voltage/current and end
// code); `received` rises to it as the blocks arrive.
struct MeasurementProgress {
    int number = 0;             // 1-based number of the measurement being received
    int64_t received = 0;       // its bytes so far, the count block included
    int64_t announced = 0;      // its length as its count block announced it
    int whole = 0;              // measurements received whole (end code checked) so far
    int64_t transferBytes = 0;  // every byte of the transfer so far
    int blocks = 0;             // blocks of the transfer taken whole so far

    bool operator==(const MeasurementProgress&) const = default;
};

// Receives the progress texts of a transfer (CP932), in order, including the
// hexadecimal dumps of the short blocks, and the figures of the measurement
// being received (as often as bytes arrive). Called on the transfer thread.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    virtual void progress(const std::string& text) = 0;
    // A text about one block of a measurement (what the block holds, or its
    // hexadecimal dump); a progress text like any other unless the sink
    // tells them apart.
    virtual void blockText(const std::string& text) { progress(text); }
    virtual void measurement(const MeasurementProgress&) {}
};

// Drops every text.
class NullProgressSink : public ProgressSink {
  public:
    void progress(const std::string&) override {}
};

}  // namespace plm::link
