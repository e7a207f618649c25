#include "link/serial_block_source.h"

#include "support/cx_exception.h"
#include "support/text_codec.h"

namespace plm::link {

SerialBlockSource::SerialBlockSource(SerialLine& line, bool debugMode)
    : line_(line), debug_(debugMode) {
    line_.setReadProgress([this](uint32_t received) { arrived(received); });
}

SerialBlockSource::~SerialBlockSource() {
    line_.setReadProgress(nullptr);
}

SourceDescription SerialBlockSource::description() const {
    // In debug mode nothing is read, so no length can make the line wait.
    return {support::sj("受信処理中..."), false, !debug_};
}

int64_t SerialBlockSource::next(int64_t expected, std::span<uint8_t> buffer) {
    if (expected == 0 || debug_)
        return expected;
    // A length the buffer cannot take would have the line wait for bytes that
    // never fit; the decoder refuses such counts first, this keeps the buffer safe.
    if (expected < 0 || static_cast<uint64_t>(expected) > buffer.size()) {
        throw CxException(support::sj("転送データ数と実転送数が合っていません"));
    }
    uint32_t received = 0;
    const int code = line_.ReadBlock(buffer.data(), static_cast<uint32_t>(expected), received);
    if (observer_ && received > 0)
        observer_(buffer.first(received));
    if (code != 0)
        throw CxException(commErrorText(code));
    return expected;
}

}  // namespace plm::link
