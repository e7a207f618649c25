#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/block_source.h"
#include "link/progress_sink.h"

namespace plm::link {

// The longest captured file read: 1024 measurements of the greatest length
// the 2-byte count allows, as hexadecimal text, with room for comment lines.
inline constexpr uint64_t kMaxCapturedFileBytes = 1024ull * 2 * (2 * 65535 + 64);

// A captured transfer in a text file: one block per line as hexadecimal text,
// ";" lines are comments, an empty line is a block of 0 bytes; a UTF-8
// byte-order mark at the start is skipped. The whole file is read at open,
// so the decoder never waits on the disk between blocks. Only a regular file
// of at most kMaxCapturedFileBytes is read.
class CapturedFileSource : public BlockSource {
  public:
    // True when `head`, the start of a file (`whole`: all of it), reads as a
    // captured transfer: it holds a block, and every line in it is a comment,
    // empty or hexadecimal text. A last line cut off by the end of a `head`
    // that is not the whole file is not judged.
    static bool looksLikeCapturedText(std::string_view head, bool whole);

    // Makes the stored (CP932) path absolute (a leading "." is the program
    // folder, a relative path the working folder), reports "ファイルオープン:%s"
    // and reads the file, retrying a busy file every 200 ms for 60 s (sooner
    // when `stop` is raised). Throws CxException with the failure text.
    void open(const std::string& storedPath, ProgressSink& progress,
              const std::atomic<bool>* stop = nullptr);

    // Takes the captured text from memory (tests, fuzzing, the benchmark).
    void openText(std::string text);

    // Absolute stored path of the opened file (empty for text from memory).
    const std::string& fullPath() const { return fullPath_; }

    SourceDescription description() const override;
    int64_t next(int64_t expected, std::span<uint8_t> buffer) override;

  private:
    std::string text_;
    std::string fullPath_;
    size_t pos_ = 0;
    int64_t lineNo_ = 0;
};

}  // namespace plm::link
