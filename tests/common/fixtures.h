#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "model/error_reporter.h"
#include "model/measurement_record.h"
#include "support/ole_date.h"

// Small builders every test folder shares.
namespace plm::test {

// A valid date-time at the given calendar fields.
support::DateTimeValue dateAt(int year, int month, int day, int hour = 0, int minute = 0,
                              int second = 0);

// A record of 50 ms at 1 ms (50 samples, every channel OFF) taken on
// 2024-03-`day` at `hour`:00, with data number `dataNo`.
model::MeasurementRecord datedRecord(int day, int hour, int dataNo = 0);

// Sets `channel` (1-based) ON from sample `from` to the end.
void closeChannelFrom(model::MeasurementRecord& record, int channel, size_t from);

// The lines of a text, split at LF (a CR before it stays in the line).
std::vector<std::string> splitLines(const std::string& text);

// The names of the entries of `folder`, sorted.
std::vector<std::string> filesIn(const std::filesystem::path& folder);

// Turns every message of a save or load that should have gone through into
// a test failure.
struct FailingReporter : model::ErrorReporter {
    void report(const std::string& text, model::MessageIcon) override;
};

// Points the program folder at `folder` for the lifetime of this object and
// restores the previous one afterwards, also when a test fails half-way.
class ProgramFolderGuard {
  public:
    explicit ProgramFolderGuard(const std::string& folder);
    ~ProgramFolderGuard();
    ProgramFolderGuard(const ProgramFolderGuard&) = delete;
    ProgramFolderGuard& operator=(const ProgramFolderGuard&) = delete;

  private:
    std::string previous_;
};

}  // namespace plm::test
