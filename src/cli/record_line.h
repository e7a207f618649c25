#pragma once

#include <string>

#include "model/measurement_record.h"

namespace plm::cli {

// One line per received or decoded record (CP932): data number, test date-time,
// measuring time, sampling period and sample count. decode and receive print
// the same line, so a capture and a live transfer can be compared.
std::string recordLine(const model::MeasurementRecord& r);

// The note after the measurements of a transfer that failed or was stopped,
// which are those that arrived whole (CP932).
std::string wholeMeasurementsNote(size_t count);

}  // namespace plm::cli
