#pragma once

#include <exception>
#include <string>

namespace plm {

// The system's own exception: one message text (CP932) and an integer code.
// An exception without a text is a quiet end: whoever catches it shows nothing.
class CxException : public std::exception {
  public:
    explicit CxException(std::string text = {}, int code = 0)
        : text_(std::move(text)), code_(code) {}

    const char* what() const noexcept override { return text_.c_str(); }
    const std::string& text() const { return text_; }
    int code() const { return code_; }
    bool quiet() const { return text_.empty(); }

  private:
    std::string text_;
    int code_;
};

}  // namespace plm
