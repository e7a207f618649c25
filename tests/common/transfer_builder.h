#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/measurement_record.h"

// Builds what the tester sends for given measurement records: the blocks of
// each measurement as bytes, the whole serial stream, and the captured-file
// text of the same transfer. Tests tamper with the blocks to make bad input.
namespace plm::test {

using Bytes = std::vector<uint8_t>;

struct MeasurementBlocks {
    Bytes count;           // 2 bytes: total length of the measurement
    Bytes header;          // 30 bytes
    Bytes contacts;        // the samples
    Bytes voltageCurrent;  // absent when empty
    Bytes endCode;         // 00000000 for the last measurement, FFFFFFFF otherwise

    // The blocks in transfer order, the voltage/current block left out when empty.
    std::vector<Bytes> blocks() const;
    // Sets count to 36 + contacts + voltage/current (the low 16 bits).
    void recount();
};

// The 30-byte header of a record: its header fields, and its date in BCD
// (six zero bytes when the date is not valid).
Bytes headerBlock(const model::MeasurementRecord& record);

// The voltage/current block of a record: empty when vcValue and vcEndValue
// are both 0, else vcValue and vcEndValue as two big-endian numbers.
Bytes voltageCurrentBlock(const model::MeasurementRecord& record);

// The blocks of a whole transfer; every measurement but the last ends in FFFFFFFF.
std::vector<MeasurementBlocks> transferBlocks(const std::vector<model::MeasurementRecord>& records);

// The serial stream: every block of every measurement back to back.
Bytes streamBytes(const std::vector<MeasurementBlocks>& measurements);

// A captured-file text: one upper-case hex line per block, lines ended by lineEnd.
std::string capturedText(const std::vector<MeasurementBlocks>& measurements,
                         const std::string& lineEnd = "\r\n");
std::string capturedText(const std::vector<model::MeasurementRecord>& records);

// A record with the given header codes, a valid date and expectedSampleCount
// samples, all OFF. Channel states are set with setChannel.
model::MeasurementRecord makeRecord(int dataNo, int measTime, int measPeriod);

// Channel `channel` (0-based) of `record` starts in `initial` and toggles at
// every sample index in `changes` (ascending).
void setChannel(model::MeasurementRecord& record, int channel, int initial,
                const std::vector<int64_t>& changes);

}  // namespace plm::test
