#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/block_source.h"
#include "link/progress_sink.h"
#include "model/measurement_record.h"

namespace plm::link {

// One receive buffer serves the whole transfer.
inline constexpr size_t kReceiveBufferSize = 300000;

enum class TransferOutcome { Completed, Stopped, Failed };

struct TransferResult {
    TransferOutcome outcome = TransferOutcome::Failed;
    std::string message;  // the failure text (CP932); empty unless Failed
    // The measurements decoded so far. A failure may leave the last one
    // without its end code: only the first `wholeCount` arrived whole.
    std::vector<model::MeasurementRecord> records;
    size_t wholeCount = 0;
};

// Turns the tester's stream (count, header, contacts, voltage/current, end
// code per measurement) into measurement records, block by block, emitting
// progress texts. Runs on the transfer thread; the stop flag may be raised
// from any thread and is seen between blocks. A block whose read fails once
// the stop is raised ends the run as stopped too.
class TransferDecoder {
  public:
    TransferDecoder(BlockSource& source, ProgressSink& progress, const std::atomic<bool>& stop);

    // The pause at the top of every pass (1 ms by default); the transfer run
    // lengthens it in debug mode, benchmarks set it to zero.
    void setPassPause(std::chrono::microseconds pause) { passPause_ = pause; }
    // The configured device type the decoded records take (8 channels by default).
    void setDevType(int32_t devType) { devType_ = devType; }

    TransferResult run();

  private:
    enum class State { Count, Header, Contacts, VoltageCurrent, End, Done };

    State step(State state);
    int64_t take(int64_t expected);
    std::span<const uint8_t> block() const;
    State onCount();
    State onHeader();
    State onContacts();
    State onVoltageCurrent();
    State onEnd();
    void blockText(const std::string& text) { progress_.blockText(text); }
    void onArrival(int64_t bytesSoFar);
    void countBlock(int64_t length);
    void reportFigures(const MeasurementProgress& figures);

    BlockSource& source_;
    SourceDescription description_;
    ProgressSink& progress_;
    const std::atomic<bool>& stop_;
    std::chrono::microseconds passPause_{1000};
    int32_t devType_ = model::kDefaultDevType;

    struct FreeBuffer {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    // Zeroed by calloc: pages the transfer never touches are never written.
    std::unique_ptr<uint8_t[], FreeBuffer> bufferMemory_;
    std::span<uint8_t> buffer_;
    int64_t blockLength_ = 0;
    bool blockTaken_ = false;
    int64_t total_ = 0;
    int64_t remaining_ = 0;
    int64_t sampleCount_ = 0;
    MeasurementProgress figures_;
    model::MeasurementRecord work_;
    std::vector<model::MeasurementRecord> results_;
};

// Each byte as "%02X", no separators.
std::string hexText(std::span<const uint8_t> bytes);

// The bytes of a captured-file line: pairs of hex digits from the start, an
// odd last digit alone makes one byte. nullopt when a character is not a
// hexadecimal digit.
std::optional<std::vector<uint8_t>> parseHexLine(std::string_view text);

// The same into `out`: the number of bytes, or -1 for a character that is not
// a hexadecimal digit, or -2 when the bytes do not fit in `out`.
int64_t parseHexLine(std::string_view text, std::span<uint8_t> out);

// The total length a count block announces (big-endian). A block of other
// than 2 bytes throws CxException with the count failure text.
int64_t decodeCount(std::span<const uint8_t> bytes);

// Fills the header fields and the test date-time of `record` from a 30-byte
// header; a block of another length throws CxException with the header failure text.
void decodeHeader(std::span<const uint8_t> bytes, model::MeasurementRecord& record);

// vcValue from the first two bytes, vcEndValue from the last two; an empty
// block leaves both alone; a 1-byte block throws CxException with the
// voltage/current failure text.
void decodeVoltageCurrent(std::span<const uint8_t> bytes, model::MeasurementRecord& record);

}  // namespace plm::link
