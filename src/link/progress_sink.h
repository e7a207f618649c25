#pragma once

#include <string>

namespace plm::link {

// Receives the progress texts of a transfer (CP932), in order, including the
// hexadecimal dumps of the short blocks. Called on the transfer thread.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    virtual void progress(const std::string& text) = 0;
};

// Drops every text.
class NullProgressSink : public ProgressSink {
  public:
    void progress(const std::string&) override {}
};

}  // namespace plm::link
