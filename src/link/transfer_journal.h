#pragma once

#include <cstdint>
#include <ctime>
#include <span>
#include <string>

#include "model/line_settings.h"
#include "support/file_lock.h"

// The journal of received transfers: every transfer from the tester is
// written, block by block as it arrives, to a captured transfer file of its
// own in the journal folder, so that nothing received is lost whatever
// happens to the transfer or the program. The files read back like any
// captured transfer.
namespace plm::link {

// How much the journal keeps; 0 leaves that kind of limit off.
struct JournalLimits {
    int64_t maxBytes = 0;
    int maxDays = 0;
};

// The comment lines that open a captured transfer file: which program
// received it when, on which line with which settings.
std::string capturedFileHeader(const std::string& program, const std::string& where,
                               const model::LineSettings& line);

// "RECV_<yyyymmdd>_<hhmmss>.txt" of the local time `when`.
std::string journalFileName(std::time_t when);

// Removes journal files of `folder` (UTF-8): those older than maxDays, then
// the oldest while all of them together exceed maxBytes. Other files stay.
void pruneJournal(const std::string& folder, const JournalLimits& limits, std::time_t now);

class TransferJournal {
  public:
    // Prunes the folder to its limits, creates it when missing and starts a
    // new journal file there holding `header`. Throws std::system_error.
    TransferJournal(const std::string& folder, const JournalLimits& limits,
                    const std::string& header);
    // Closes the file as close() does, noting nothing.
    ~TransferJournal();
    TransferJournal(const TransferJournal&) = delete;
    TransferJournal& operator=(const TransferJournal&) = delete;

    // The file (UTF-8 path).
    const std::string& path() const { return path_; }

    // One block as one hexadecimal line, written through at once. Throws
    // std::system_error.
    void writeBlock(std::span<const uint8_t> bytes);

    // Ends the file with the comment line `note` (CP932, may be empty) and
    // syncs it to the disk. A journal that never received a block is removed.
    // Throws std::system_error; later calls do nothing.
    void close(const std::string& note);

  private:
    std::string path_;
    support::UniqueFd fd_;
    bool anyBlock_ = false;
};

}  // namespace plm::link
