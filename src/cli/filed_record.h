#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/measurement_record.h"
#include "model/record_list.h"

namespace plm::cli {

// The record at `index` of customer / circuit / name (as typed, UTF-8),
// scanned from the data file at `dataPath` without keeping any other
// record. A file that cannot be read has its message printed on stderr and
// gives nullopt; a name or record that is not there throws
// std::runtime_error naming it.
std::optional<model::MeasurementRecord> scanFiledRecord(const std::string& dataPath,
                                                        const std::string& customer,
                                                        const std::string& circuit,
                                                        const std::string& name, uint32_t index);

// Every record of customer / circuit / name, in their stored order, checking
// that the name holds a record at `index` when one is given; failures as
// scanFiledRecord.
std::optional<model::RecordList> scanFiledName(const std::string& dataPath,
                                               const std::string& customer,
                                               const std::string& circuit, const std::string& name,
                                               std::optional<uint32_t> index);

// Throws std::runtime_error naming customer / circuit (and name, when not
// empty; as typed, UTF-8) unless the data file at `dataPath` holds them.
// Returns false when the file cannot be read, its message printed on stderr.
bool scanFiledTarget(const std::string& dataPath, const std::string& customer,
                     const std::string& circuit, const std::string& name);

}  // namespace plm::cli
