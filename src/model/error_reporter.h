#pragma once

#include <cstdint>
#include <string>

namespace plm::model {

// The icon a message is shown with.
enum class MessageIcon {
    Plain,        // a plain OK box
    Information,  // the system's own failures (CxException texts)
    Stop,         // refusals and unreadable files
};

// Where the data file, import and export report their failures and notices.
// The GUI shows a message box; plmtool prints to stderr; tests record them.
class ErrorReporter {
  public:
    virtual ~ErrorReporter() = default;
    // `text` is CP932.
    virtual void report(const std::string& text, MessageIcon icon) = 0;
    // Called now and then while a data or export file is read or written:
    // `done` bytes of `total` (0 when the size is not known beforehand), so
    // a long load or save can show that it is working.
    virtual void fileProgress(uint64_t /*done*/, uint64_t /*total*/) {}
};

}  // namespace plm::model
