#pragma once

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
};

}  // namespace plm::model
