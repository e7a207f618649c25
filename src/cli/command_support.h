#pragma once

#include <csignal>
#include <string>

#include "cli/command.h"
#include "model/error_reporter.h"

// Pieces several plmtool commands share.
namespace plm::cli {

// Messages of the data file, import and writers go to stderr, like the
// message boxes of the program.
class StderrReporter : public model::ErrorReporter {
  public:
    void report(const std::string& text, model::MessageIcon icon) override;
    bool failed = false;  // something was reported
};

// Without --force, an output name already taken (a file, a folder, a link)
// is refused before any work with the designed
// "指定のファイルは既に存在しています\n<path>": throws CxException.
void refuseTakenOutput(const Invocation& inv, const std::string& fsPath);

// `bytes` as the whole output file at fsPath: written beside it and renamed
// onto the name, so a link there is replaced, never followed; an existing
// file is replaced only with --force. Throws CxException (kept file) or
// std::runtime_error naming `shownPath` and the reason.
void writeOutputFile(const Invocation& inv, const std::string& fsPath, const std::string& bytes,
                     const std::string& shownPath);

// A name or text as typed (UTF-8) in its stored CP932 form. A text holding
// a character CP932 cannot hold (or NUL, or bytes that are no UTF-8) is bad
// usage, with the character and its code in the message.
std::string storedText(const std::string& typed);

// INDEX as typed: a record position 0, 1, ...; anything else is bad usage.
int parseIndex(const std::string& text);

// Set by SIGINT/SIGTERM while an InterruptGuard lives.
bool interruptRequested();

// Turns SIGINT and SIGTERM into interruptRequested() for the length of a
// long job. The handler is reset after the first signal, so a second Ctrl-C
// ends the program at once. `restartCalls`: a batch restarts interrupted
// system calls; a transfer does not, so the line's poll wakes at once.
class InterruptGuard {
  public:
    explicit InterruptGuard(bool restartCalls);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

  private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

}  // namespace plm::cli
