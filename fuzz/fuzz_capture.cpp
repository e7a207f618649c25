// Captured transfers come from files that anyone can edit, and the serial
// stream from a device that may send anything: whatever the bytes, decoding
// ends with a completed transfer or with exactly one failure text, and never
// reads or writes outside the receive buffer.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "link/captured_file_source.h"
#include "link/transfer_decoder.h"
#include "support/cx_exception.h"

namespace {

using namespace plm::link;

// A line source over memory: exactly the bytes asked for, a timeout when they run out.
class MemoryLine : public BlockSource {
  public:
    MemoryLine(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    SourceDescription description() const override { return {"", false, true}; }
    int64_t next(int64_t expected, std::span<uint8_t> buffer) override {
        if (expected < 0 || static_cast<size_t>(expected) > buffer.size())
            std::abort();
        if (static_cast<size_t>(expected) > size_ - pos_)
            throw plm::CxException(commErrorText(-2));
        std::copy_n(data_ + pos_, expected, buffer.begin());
        pos_ += static_cast<size_t>(expected);
        return expected;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

void decode(BlockSource& source) {
    NullProgressSink progress;
    std::atomic<bool> stop{false};
    TransferDecoder decoder(source, progress, stop);
    decoder.setPassPause(std::chrono::microseconds(0));
    TransferResult result = decoder.run();
    bool failed = result.outcome == TransferOutcome::Failed;
    if (failed == result.message.empty())
        std::abort();
    if (result.outcome == TransferOutcome::Stopped)
        std::abort();
    for (const auto& record : result.records) {
        if (record.contacts.size() != record.expectedSampleCount())
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CapturedFileSource file;
    file.openText(std::string(reinterpret_cast<const char*>(data), size));
    decode(file);
    MemoryLine line(data, size);
    decode(line);
    return 0;
}
